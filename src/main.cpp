#include "core/playout_log.h"
#include "models/language_settings.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DOVRINE"));

    velmar::LanguageSettings::shared();
    velmar::PlayoutLog::shared().start();

    QMainWindow window;
    window.setObjectName(QStringLiteral("main"));
    window.setWindowTitle(QStringLiteral("DOVRINE — Untitled"));
    window.resize(1920, 1080);
    window.show();

    const int code = QApplication::exec();
    velmar::PlayoutLog::shared().stop();
    return code;
}
