#pragma once

#include <QString>

namespace velmar {

// Where the application keeps its own files: $XDG_DATA_HOME/DOVRINE (normally
// ~/.local/share/DOVRINE) with Logs/ and Backups/ inside. Nothing is created here; callers
// create the folder they need when they first write.
struct AppPaths {
    static QString supportDirectory();
    static QString logsDirectory();
    static QString backupsDirectory();
};

}  // namespace velmar
