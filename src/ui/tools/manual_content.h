#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace velmar {

// The built-in quick reference in both languages: seven sections of short lines, held in the
// program rather than in the string tables. Keys are written as this platform's keyboards name
// them: Ctrl, Shift, Alt (and Meta), joined to the key by "+". Both lists are built once, on first
// use, so their ids stay the same for the life of the process.
class ManualContent {
  public:
    struct Section {
        QUuid id;
        QString title;
        QStringList body;
    };

    static const QList<Section>& japanese();
    static const QList<Section>& english();

    ManualContent() = delete;
};

}  // namespace velmar
