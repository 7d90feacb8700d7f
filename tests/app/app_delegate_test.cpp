#include "app/app_delegate.h"
#include "models/language_settings.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Answer = AppDelegate::SaveAnswer;

// Every step records its name, so that order and presence can be compared as a whole.
struct AppDelegateSteps : ::testing::Test {
    QStringList log;
    bool unsaved = false;
    QUrl projectURL;
    Answer answer = Answer::cancel;
    bool saveSucceeds = true;

    AppDelegate::Steps steps() {
        using S = AppDelegate::Steps;
        const std::pair<std::function<void()> S::*, const char*> recorded[] = {
            {&S::startLog, "startLog"},
            {&S::startKeyMonitor, "startKeyMonitor"},
            {&S::refreshDeckLinkDevices, "refreshDeckLinkDevices"},
            {&S::refreshScreens, "refreshScreens"},
            {&S::offerRecoveryIfNeeded, "offerRecovery"},
            {&S::markReadyForExternalOpen, "markReady"},
            {&S::bringToFront, "bringToFront"},
            {&S::reloadMediaCachesAfterActivation, "reloadMedia"},
            {&S::stopKeyMonitor, "stopKeyMonitor"},
            {&S::stopDeckLink, "stopDeckLink"},
            {&S::stopOBSOutput, "stopOBSOutput"},
            {&S::closeOutputWindow, "closeOutputWindow"},
            {&S::stopAutosave, "stopAutosave"},
            {&S::clearAutosave, "clearAutosave"},
            {&S::keepAutosave, "keepAutosave"},
            {&S::stopLog, "stopLog"}};
        S s;
        for (const auto& [member, name] : recorded) s.*member = [this, name] { log << name; };
        s.openProjectFromFinder = [this](const QUrl& url) { log << "open " + url.fileName(); };
        s.hasUnsavedProjectChanges = [this] { return unsaved; };
        s.projectURL = [this] { return projectURL; };
        s.writeProject = [this](const QUrl& url) {
            log << "write " + url.fileName();
            return saveSucceeds;
        };
        s.saveProjectAs = [this] {
            log << "saveAs";
            return saveSucceeds;
        };
        s.askToSave = [this] {
            log << "ask";
            return answer;
        };
        return s;
    }
};

TEST_F(AppDelegateSteps, LaunchRunsInOrderAndAnEarlyProjectWaitsForTheRecoveryQuestion) {
    AppDelegate delegate(steps());
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(log, (QStringList{"startLog", "startKeyMonitor", "refreshDeckLinkDevices",
                                "refreshScreens", "offerRecovery", "markReady"}));
}

// The first name with the project extension, in any case, is opened; one that is missing is
// opened too, so that the open reports it rather than nothing happening.
TEST_F(AppDelegateSteps, OpensOnlyTheFirstProjectFileInAnyCaseEvenAMissingOne) {
    QTemporaryDir dir;
    const auto touch = [&](const QString& name) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return f.fileName();
    };
    const QString movie = touch("clip.mov");
    const QString upper = touch("Show.TAVRENDEK");
    const QString second = touch("second.tavrendek");
    const QString missing = dir.filePath("missing.tavrendek");

    AppDelegate delegate(steps());
    delegate.openFiles({movie, upper, second});
    delegate.openFiles({movie, missing, upper});
    EXPECT_EQ(log, (QStringList{"bringToFront", "open Show.TAVRENDEK", "bringToFront",
                                "open missing.tavrendek"}));
    log.clear();
    delegate.openFiles({movie, dir.filePath("missing.mov"), "--flag", ""});
    delegate.openFiles({});
    EXPECT_TRUE(log.isEmpty());
}

// Media and folders handed over are not imported, and the status line names them; a project
// among them still opens.
TEST_F(AppDelegateSteps, HandedOverFilesThatAreNotProjectsAreNamedInTheStatusLine) {
    QTemporaryDir dir;
    for (const char* name : {"clip.mov", "Show.tavrendek"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QDir(dir.path()).mkdir("stills");
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    AppDelegate::Steps s = steps();
    s.showStatus = [this](const QString& text) { log << "status " + text; };
    AppDelegate delegate(std::move(s));
    delegate.openFiles({dir.filePath("clip.mov"), dir.filePath("missing.png"),
                        dir.filePath("stills"), dir.filePath("Show.tavrendek"), "--flag"});
    EXPECT_EQ(log, (QStringList{"status プロジェクトファイル以外は開きません: clip.mov, stills",
                                "bringToFront", "open Show.tavrendek"}));
    log.clear();
    delegate.openFiles({dir.filePath("Show.tavrendek"), dir.filePath("missing.mov")});
    EXPECT_EQ(log, (QStringList{"bringToFront", "open Show.tavrendek"}));
}

TEST_F(AppDelegateSteps, FirstActivationOnlyMarksLaterOnesReload) {
    AppDelegate delegate(steps());
    delegate.applicationDidBecomeActive();
    EXPECT_TRUE(delegate.hasActivatedOnce());
    EXPECT_TRUE(log.isEmpty());
    delegate.applicationDidBecomeActive();
    delegate.applicationDidBecomeActive();
    EXPECT_EQ(log, (QStringList{"reloadMedia", "reloadMedia"}));
}

TEST_F(AppDelegateSteps, QuitDecision) {
    struct Case {
        const char* name;
        bool unsaved;
        const char* url;
        Answer answer;
        bool saveSucceeds;
        bool terminates;
        QStringList steps;
    };
    const Case cases[] = {
        {"clean", false, "", Answer::cancel, true, true, {}},
        {"saveToFile",
         true,
         "/p/a.tavrendek",
         Answer::save,
         true,
         true,
         {"ask", "write a.tavrendek"}},
        {"saveFails",
         true,
         "/p/a.tavrendek",
         Answer::save,
         false,
         false,
         {"ask", "write a.tavrendek"}},
        {"saveNew", true, "", Answer::save, true, true, {"ask", "saveAs"}},
        {"saveNewCancelled", true, "", Answer::save, false, false, {"ask", "saveAs"}},
        {"dontSave", true, "", Answer::dontSave, true, true, {"ask"}},
        {"cancel", true, "/p/a.tavrendek", Answer::cancel, true, false, {"ask"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        unsaved = c.unsaved;
        projectURL = *c.url ? QUrl::fromLocalFile(c.url) : QUrl();
        answer = c.answer;
        saveSucceeds = c.saveSucceeds;
        AppDelegate delegate(steps());
        EXPECT_EQ(delegate.shouldTerminate(), c.terminates);
        EXPECT_EQ(log, c.steps);
    }
}

// A regular quit deletes the autosave. An end nobody was asked about (a termination signal, the
// session logging out) with unsaved changes keeps it: it is the only copy of the work.
TEST_F(AppDelegateSteps, ShutdownInOrderKeepingTheAutosaveOnlyForUnaskedUnsavedWork) {
    const QStringList outputs{"stopKeyMonitor", "stopDeckLink", "stopOBSOutput",
                              "closeOutputWindow", "stopAutosave"};
    struct Case {
        const char* name;
        bool unsaved;
        bool asked;
        const char* autosave;
    };
    const Case cases[] = {
        {"signalClean", false, false, "clearAutosave"},
        {"signalUnsaved", true, false, "keepAutosave"},
        {"askedDontSave", true, true, "clearAutosave"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsaved = c.unsaved;
        answer = Answer::dontSave;
        AppDelegate delegate(steps());
        if (c.asked) {
            ASSERT_TRUE(delegate.shouldTerminate());
        }
        log.clear();
        delegate.applicationWillTerminate();
        delegate.applicationWillTerminate();  // runs once
        EXPECT_EQ(log, outputs + QStringList({c.autosave, "stopLog"}));
    }
}

}  // namespace
}  // namespace velmar
