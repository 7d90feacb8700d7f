#pragma once

#include "models/playout_project.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace velmar {

// Reads the tabs of a project file straight from its JSON text, without building a QJsonDocument
// of 10000 clips first (which alone takes as long as everything else of opening). Only for text
// as a saved file has it: anything else (unknown or repeated keys inside a tab or clip, escapes
// standing for surrogates, malformed UTF-8, numbers an integer field would have to convert, a
// value of another type) gives nothing, and the caller decodes the whole text the strict way,
// which then reads or refuses it with its own error. What this accepts, the strict decoding reads
// to the same records. Touches no shared state.
class ProjectJsonReader {
  public:
    struct Split {
        // The document without its "groups" member, for the strict decoding of the rest.
        QByteArray rest;
        // The tabs; nothing when "groups" is absent or null.
        std::optional<QList<PlayoutProject::GroupRecord>> groups;
    };

    static std::optional<Split> read(const QByteArray& json);

    ProjectJsonReader() = delete;
};

}  // namespace velmar
