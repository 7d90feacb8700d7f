#include "document_workflow_fixture.h"

#include <QThread>

#include <atomic>
#include <future>

#include <sys/stat.h>

namespace velmar::test {
namespace {

struct DocumentImportTest : DocumentWorkflowFixture {
    QString media = path("media");
    void SetUp() override {
        DocumentWorkflowFixture::SetUp();
        for (const char* name : {"b10.png", "B2.PNG", "a.mov", "notes.txt", "dir/x2.jpg",
                                 "dir/x10.JPG", "dir/.hidden.png", "dir/readme.md",
                                 "dir/deeper/inner.png", ".chosen.png", "locked/in.png"})
            writeFile(media + "/" + name, "x");
        QDir().mkpath(media + "/dir/sub.mov");
        ::mkfifo(QFile::encodeName(media + "/pipe.mov").constData(), 0600);
        ::chmod(QFile::encodeName(media + "/locked").constData(), 0);
    }
    void TearDown() override {
        ::chmod(QFile::encodeName(media + "/locked").constData(), 0700);
        DocumentWorkflowFixture::TearDown();
    }
    QList<QUrl> urls(const QStringList& names) const {
        QList<QUrl> out;
        for (const QString& name : names)
            out << (name.contains(':') ? QUrl(name) : url(media + "/" + name));
        return out;
    }
};

TEST_F(DocumentImportTest, ChosenFilesAndFoldersExpandToSortedClips) {
    const bool root = ::geteuid() == 0;  // root lists the locked folder anyway
    const struct {
        QStringList chosen;
        QStringList clips;  // display name, and "!" when marked missing
    } rows[] = {
        {{"b10.png", "B2.PNG", "a.mov"}, {"a", "B2", "b10"}},
        {{"dir"}, {"sub", "x2", "x10"}},  // one level, hidden skipped, a folder named .mov kept
        {{".chosen.png"}, {".chosen"}},
        {{"notes.txt", "https://example.com/a.png", root ? "notes.txt" : "locked"}, {}},
        {{"gone.png", "pipe.mov"}, {"gone!", "pipe"}},
    };
    for (const auto& row : rows) {
        QStringList clips;
        for (const Clip& clip : DocumentWorkflow::importedClips(urls(row.chosen))) {
            clips << clip.displayName + (clip.isMissing ? "!" : "");
            EXPECT_EQ(clip.kind, *Clip::kindFor(clip.url));
        }
        EXPECT_EQ(clips, row.clips);
    }
}

TEST_F(DocumentImportTest, ImportGoesToTheTabCurrentWhenItWasAsked) {
    loadTab(stills(1));
    rundown().addGroup("Second");
    rundown().selectGroup(0);
    workflow->importURLs(urls({"b10.png", "a.mov"}));
    rundown().selectGroup(1);  // before the files are ready
    finishBackground();
    EXPECT_EQ(rundown().groups()[0].clips.value(1).displayName, "a");
    EXPECT_TRUE(rundown().groups()[1].clips.isEmpty());
    workflow->importURLs(urls({"notes.txt"}));
    finishBackground();
    EXPECT_EQ(host.statusLine, "対応する素材がありませんでした");

    workflow->presentAddClips(DocumentWorkflow::AddPanelKind::folder);
    EXPECT_TRUE(dialogs.panels.value(0).choosesDirectories);
    EXPECT_TRUE(host.isFilePanelOpen());
    dialogs.answerPanel(urls({"dir"}));
    EXPECT_FALSE(host.isFilePanelOpen());
    drainMainQueue();  // the import is asked for on the next turn
    finishBackground();
    EXPECT_EQ(names(), (QStringList{"sub", "x2", "x10"}));
}

TEST_F(DocumentImportTest, ReplaceResolvesTheClipWhenThePanelIsAnswered) {
    loadTab({still("A"), still("B"), still("C")});
    const QUuid b = rundown().currentGroup()->clips[1].id;
    const auto replace = [&](int index, const char* file, std::function<void()> meanwhile) {
        workflow->presentReplace(index);
        drainMainQueue();  // the panel is begun on the next turn
        meanwhile();
        dialogs.answerPanel(urls({file}));
    };
    // The clip moved while the panel was up: that clip is replaced at its new place.
    replace(1, "a.mov", [&] { rundown().nudge({b}, -1); });
    EXPECT_EQ(rundown().currentGroup()->clips[0].url.fileName(), "a.mov");
    EXPECT_EQ(rundown().currentGroup()->clips[0].id, b);
    EXPECT_FALSE(host.isFilePanelOpen());
    // Mended: the clip deleted, or its tab no longer current, replaced nothing else.
    const QString gone = "差し替える素材が今のタブに無いため、差し替えませんでした";
    replace(0, "b10.png", [&] { rundown().removeClip(0); });  // B went
    EXPECT_EQ(host.statusLine, gone);
    const QUuid a = rundown().currentGroup()->clips[0].id;
    replace(0, "b10.png", [&] {  // moved to a tab that is current now
        rundown().addGroup("Other");
        rundown().selectGroup(0);
        rundown().moveClips({a}, 1);
        rundown().selectGroup(1);
    });
    EXPECT_EQ(host.statusLine, gone);
    EXPECT_EQ(names(), QStringList{"A"});
    rundown().selectGroup(0);
    EXPECT_EQ(names(), QStringList{"C"});
    replace(0, "Notes.TXT", [] {});
    EXPECT_EQ(host.statusLine, "対応していないコーデック: TXT");
    EXPECT_TRUE(dialogs.panels.value(0).allowedExtensions.contains("mxf"));

    settle();
    engine->spacePressed();  // fading in: refused before any panel
    ASSERT_EQ(engine->state(), PlayoutEngine::State::fadingIn);
    workflow->presentReplace(0);
    EXPECT_EQ(host.statusLine, "オンエア中は素材の差し替えはできません");
    EXPECT_EQ(dialogs.panels.size(), 4);
}

TEST_F(DocumentImportTest, ActivationReloadAndTheImageEditor) {
    int invalidated = 0;
    QObject::connect(&thumbnails, &ThumbnailCache::didInvalidate, [&] { ++invalidated; });
    host.reloadOnActivation = false;
    workflow->reloadMediaCachesAfterActivation();
    host.reloadOnActivation = host.loading = true;
    workflow->reloadMediaCachesAfterActivation();
    host.loading = false;
    host.panelFlags = {true};
    workflow->reloadMediaCachesAfterActivation();
    EXPECT_EQ(invalidated, 0);
    host.panelFlags = {false};
    workflow->reloadMediaCachesAfterActivation();
    EXPECT_EQ(invalidated, 1);

    workflow->openInPhotoshop(url("/art/poster.png"));
    workflow->openInPhotoshop(url("/art/poster.PSD"));
    finishBackground();
    EXPECT_EQ(opened, QList<QUrl>{url("/art/poster.PSD")});
    workflow->openInPhotoshop(url("/art/locked.psd"));
    finishBackground();
    EXPECT_EQ(host.statusLine, "Photoshopで開けませんでした: denied");
    editorInstalled = false;
    workflow->openInPhotoshop(url("/art/poster.psd"));
    finishBackground();
    EXPECT_EQ(host.statusLine, "Adobe Photoshopが見つかりません");
}

// Mended: asking the desktop for the editor runs a program that may take seconds, and it ran on
// the main thread. It runs off it now, and its answer still decides what follows.
TEST_F(DocumentImportTest, TheImageEditorIsLookedUpOffTheMainThread) {
    std::promise<void> answer;
    const std::shared_future<void> answered = answer.get_future().share();
    std::atomic<bool> onMainThread{false};
    QThread* const mainThread = QThread::currentThread();
    onEditorLookup = [&] {
        if (QThread::currentThread() == mainThread) {
            onMainThread = true;  // waiting here would hang the test
            return;
        }
        answered.wait();  // a slow look-up
    };
    workflow->openInPhotoshop(url("/art/poster.psd"));
    EXPECT_FALSE(onMainThread);
    EXPECT_TRUE(opened.isEmpty());  // the main thread goes on meanwhile
    answer.set_value();
    finishBackground();
    EXPECT_EQ(opened, QList<QUrl>{url("/art/poster.psd")});

    // A workflow gone before the answer comes back does nothing with it.
    opened.clear();
    onEditorLookup = {};
    workflow->openInPhotoshop(url("/art/poster.psd"));
    workflow->waitForBackgroundWork();
    makeWorkflow();
    drainMainQueue();
    EXPECT_TRUE(opened.isEmpty());
}

// The desktop's answer comes from `xdg-mime query default` for the Photoshop type: a desktop
// file named means an editor is there; no answer or a failure means none.
TEST_F(DocumentImportTest, TheDesktopNamesTheEditorForPhotoshopFiles) {
    const QString bin = path("bin");
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", (bin + ":" + oldPath).toUtf8());
    const auto lookup = DocumentWorkflow::Desktop::standard().hasDefaultApplication;
    const auto withStandIn = [&](const QByteArray& body) {
        writeFile(bin + "/xdg-mime",
                  "#!/bin/sh\necho \"$@\" > \"" + path("asked").toUtf8() + "\"\n" + body + "\n");
        QFile(bin + "/xdg-mime").setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        return lookup(url("/art/poster.psd"));
    };
    EXPECT_TRUE(withStandIn("echo editor.desktop"));
    EXPECT_EQ(readAll(path("asked")).trimmed(), "query default image/vnd.adobe.photoshop");
    EXPECT_FALSE(withStandIn("true"));
    EXPECT_FALSE(withStandIn("echo editor.desktop; exit 1"));
    qputenv("PATH", oldPath);
}

}  // namespace
}  // namespace velmar::test
