// The main of every test program: a private home for settings and data, then an application
// object so that queued calls, timers and translations work, then GoogleTest.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#ifdef VELMAR_TEST_GUI
#include <QApplication>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// The program's own autosave store is one per process, with its folder in the private data
// folder ("DOVRINE" there). A test that runs past the autosave interval leaves the program's
// autosave in it, and the next test of the same program that launches the application would
// then wait for ever on a restore question that nobody answers. Every test ends with the folder
// cleared of it, so each starts as a first launch. (Tests that drive the store themselves give
// it a folder of their own.)
class AutosaveCleaner : public ::testing::EmptyTestEventListener {
  public:
    explicit AutosaveCleaner(QString folder) : folder_(std::move(folder)) {}
    void OnTestEnd(const ::testing::TestInfo&) override {
        const QDir dir(folder_);
        for (const char* name : {"autosave.tavrendek", "autosave-origin.txt"})
            QFile::remove(dir.filePath(QString::fromLatin1(name)));
    }

  private:
    QString folder_;
};

}  // namespace

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
    ::testing::UnitTest::GetInstance()->listeners().Append(
        new AutosaveCleaner(home.path() + "/data/DOVRINE"));
#ifdef VELMAR_TEST_GUI
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
