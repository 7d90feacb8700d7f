#pragma once

#include "app/document_dialogs.h"
#include "app/document_workflow.h"
#include "core/autosave_store.h"
#include "core/engine_fixture.h"
#include "core/media_access.h"
#include "core/thumbnail_cache.h"
#include "platform/base/user_defaults.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include <deque>

namespace velmar::test {

// Answers boxes and panels as the test says, and keeps what was asked.
struct FakeDocumentDialogs : DocumentDialogs {
    QList<Alert> alerts;
    std::deque<int> alertAnswers;  // -1 once none is left
    std::optional<QUrl> saveAnswer;
    QList<OpenPanel> panels;
    OpenCompletion pendingPanel;  // of the panel begun last

    int runAlert(const Alert& alert, QWidget*) override {
        alerts << alert;
        if (alertAnswers.empty()) return -1;
        const int answer = alertAnswers.front();
        alertAnswers.pop_front();
        return answer;
    }
    void showWindowModal(const Alert& alert, QWidget*) override { alerts << alert; }
    std::optional<QUrl> runSavePanel(const SavePanel&, QWidget*) override { return saveAnswer; }
    std::optional<QList<QUrl>> runOpenPanel(const OpenPanel&, QWidget*) override { return {}; }
    void beginOpenPanel(const OpenPanel& panel, QWidget*, OpenCompletion done) override {
        panels << panel;
        pendingPanel = std::move(done);
    }
    void answerPanel(std::optional<QList<QUrl>> urls) { std::exchange(pendingPanel, {})(urls); }
};

// The application state as the workflow sees it.
struct FakeDocumentHost : DocumentWorkflow::Host {
    PlayoutEngine* engine_ = nullptr;
    QUrl url;
    bool loading = false;
    std::optional<QByteArray> saved;
    QString statusLine;  // the last text of the workflow or the engine
    bool deckLinkRunning = false;
    bool startFails = false;
    std::optional<ZRDeckLinkMode> mode;
    QStringList deckLinkCalls;
    QWidget* window = nullptr;
    QList<bool> panelFlags;  // every change of the file-panel flag
    bool reloadOnActivation = true;

    PlayoutEngine& engine() override { return *engine_; }
    const QUrl& projectURL() const override { return url; }
    void setProjectURL(const QUrl& u) override { url = u; }
    bool isProjectLoading() const override { return loading; }
    void setIsProjectLoading(bool l) override { loading = l; }
    const std::optional<QByteArray>& savedProjectSnapshot() const override { return saved; }
    void setSavedProjectSnapshot(std::optional<QByteArray> s) override { saved = std::move(s); }
    void setStatusMessage(const QString& text) override { statusLine = text; }
    bool isDeckLinkRunning() const override { return deckLinkRunning; }
    std::optional<ZRDeckLinkMode> deckLinkRunningMode() const override { return mode; }
    void stopDeckLink() override { deckLinkCalls << "stop"; }
    void startDeckLink() override {
        deckLinkCalls << "start";
        deckLinkRunning = !startFails;
        statusLine = startFails ? "start failed" : "SDI started";
    }
    QWidget* controlWindow() const override { return window; }
    void setFilePanelOpen(QObject*, bool open) override { panelFlags << open; }
    bool isFilePanelOpen() const override { return !panelFlags.isEmpty() && panelFlags.last(); }
    bool reloadMediaOnActivation() const override { return reloadOnActivation; }
};

// The workflow over a test engine, an autosave store and a backups folder in a temporary home,
// clean at the start as the application state makes it.
struct DocumentWorkflowFixture : EngineFixture {
    QString home = dir.path();
    QString autosaveFolder = home + "/support/DOVRINE";
    QString backups = autosaveFolder + "/Backups";
    UserDefaults defaults{home + "/defaults.json"};
    std::unique_ptr<AutosaveStore> autosave;
    MediaAccess mediaAccess{home + "/MediaAccess.plist", nullptr, false};
    ThumbnailCache thumbnails;
    FakeDocumentDialogs dialogs;
    FakeDocumentHost host;
    QList<QUrl> opened;  // files handed to the default application
    bool editorInstalled = true;
    std::function<void()> onEditorLookup;  // runs where the workflow asks for the editor
    std::unique_ptr<DocumentWorkflow> workflow;

    void SetUp() override {
        EngineFixture::SetUp();
        makeWorkflow();
    }
    void TearDown() override {
        workflow->waitForBackgroundWork();
        drainMainQueue();
        workflow.reset();
        autosave.reset();
        EngineFixture::TearDown();
    }
    void makeWorkflow() {
        workflow.reset();
        autosave = std::make_unique<AutosaveStore>(
            AutosaveStore::Environment{home + "/support", &defaults, &clock, nullptr, false});
        host.engine_ = engine.get();
        workflow = std::make_unique<DocumentWorkflow>(host, environment());
        QObject::connect(engine.get(), &PlayoutEngine::lastMessageChanged, workflow.get(),
                         [this](const QString& text) { host.statusLine = text; });
        host.saved = workflow->projectSnapshot();
    }
    // What the workflows of this fixture run on: the fixture's store, dialogs and folders.
    DocumentWorkflow::Environment environment() {
        DocumentWorkflow::Environment env{autosave.get(), &mediaAccess, &thumbnails, &dialogs,
                                          &clock,         backups,      false};
        env.log = &log;
        env.desktop.hasDefaultApplication = [this](const QUrl&) {
            if (onEditorLookup) onEditorLookup();
            return editorInstalled;
        };
        env.desktop.openWithDefaultApplication = [this](const QUrl& url, QString* error) {
            opened << url;
            *error = "denied";
            return !url.fileName().startsWith("locked");
        };
        return env;
    }

    QString path(const QString& name) const { return home + "/" + name; }
    static QUrl url(const QString& path) { return QUrl::fromLocalFile(path); }
    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeFile(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    QStringList backupNames() const { return QDir(backups).entryList(QDir::Files, QDir::Name); }
    // Lets a background load or import reach the engine.
    void finishBackground() {
        workflow->waitForBackgroundWork();
        settle();
    }
};

}  // namespace velmar::test
