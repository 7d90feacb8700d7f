#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

namespace velmar {

// The built-in quick reference in both languages: seven sections of short lines, held in the
// program rather than in the string tables. Both lists are built once, on first use, so their
// ids stay the same for the life of the process.
class ManualContent {
  public:
    struct Section {
        QUuid id;
        QString title;
        QStringList body;
    };

    static const QList<Section>& japanese();
    static const QList<Section>& english();

    // A line as shown here: the shortcut symbols of the original keyboard become this
    // platform's key names. Command, Option and Control become "Ctrl", "Alt" and "Meta" joined
    // to the next key by "+" (by nothing when a hyphen already joins them to a word, as in
    // "⌘-click"); the delete key becomes "Backspace". Every other character stays as it is.
    static QString platformShortcutText(const QString& line);

    ManualContent() = delete;
};

}  // namespace velmar
