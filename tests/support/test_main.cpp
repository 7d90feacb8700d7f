// The main of every test program: a private home for settings and data, then an application
// object so that queued calls, timers and translations work, then GoogleTest.
#include <QCoreApplication>
#include <QTemporaryDir>
#ifdef VELMAR_TEST_GUI
#include <QApplication>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    QTemporaryDir home;
    setenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8().constData(), 1);
    setenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8().constData(), 1);
    if (getenv("SDL_AUDIODRIVER") == nullptr) setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("TZ", "UTC", 1);
    tzset();
    ::testing::InitGoogleTest(&argc, argv);
#ifdef VELMAR_TEST_GUI
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
