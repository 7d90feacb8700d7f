#include "document_workflow_fixture.h"

#include <sys/stat.h>

namespace velmar::test {
namespace {

struct DocumentImportTest : DocumentWorkflowFixture {
    QString media;
    void SetUp() override {
        DocumentWorkflowFixture::SetUp();
        media = path("media");
        for (const char* name : {"b10.png", "B2.PNG", "a.mov", "notes.txt", "folder/x2.jpg",
                                 "folder/x10.JPG", "folder/.hidden.png", "folder/readme.md",
                                 "folder/deeper/inner.png", ".chosen.png", "locked/in.png"})
            writeFile(media + "/" + name, "x");
        QDir().mkpath(media + "/folder/sub.mov");
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
    const bool root = ::geteuid() == 0;  // root reads the locked folder anyway
    const struct {
        const char* name;
        QStringList chosen;
        QStringList fileNames;
        QStringList displayNames;
    } rows[] = {
        {"finder order, extension case ignored",
         {"b10.png", "B2.PNG", "a.mov"},
         {"a.mov", "B2.PNG", "b10.png"},
         {"a", "B2", "b10"}},
        {"one level deep, hidden skipped, folder named like a movie taken",
         {"folder"},
         {"sub.mov", "x2.jpg", "x10.JPG"},
         {"sub", "x2", "x10"}},
        {"hidden file chosen directly", {".chosen.png"}, {".chosen.png"}, {".chosen"}},
        {"unsupported, remote and unreadable dropped",
         {"notes.txt", "https://example.com/a.png", root ? "notes.txt" : "locked"},
         {},
         {}},
        {"missing file and a FIFO kept",
         {"gone.png", "pipe.mov"},
         {"gone.png", "pipe.mov"},
         {"gone", "pipe"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QList<Clip> clips = DocumentWorkflow::importedClips(urls(row.chosen));
        QStringList fileNames, displayNames;
        for (const Clip& clip : clips) {
            fileNames << clip.url.fileName();
            displayNames << clip.displayName;
            EXPECT_EQ(clip.isMissing, clip.url.fileName() == "gone.png");
            EXPECT_EQ(clip.kind, *Clip::kindFor(clip.url));
            EXPECT_EQ(clip.loopCount, 1);
        }
        EXPECT_EQ(fileNames, row.fileNames);
        EXPECT_EQ(displayNames, row.displayNames);
    }
}

TEST_F(DocumentImportTest, ImportGoesToTheTabCurrentWhenItWasAsked) {
    loadTab(stills(1));
    rundown().addGroup("Second");
    rundown().selectGroup(0);
    workflow->importURLs(urls({"b10.png", "a.mov"}));
    rundown().selectGroup(1);  // before the files are ready
    finishBackground();
    EXPECT_EQ(rundown().groups()[0].clips.size(), 3);
    EXPECT_EQ(rundown().groups()[0].clips[1].displayName, "a");
    EXPECT_TRUE(rundown().groups()[1].clips.isEmpty());

    workflow->importURLs(urls({"notes.txt"}));
    finishBackground();
    EXPECT_EQ(host.statusLine, "対応する素材がありませんでした");
}

TEST_F(DocumentImportTest, AddPanelImportsWhatWasChosen) {
    loadTab({});
    workflow->presentAddClips(DocumentWorkflow::AddPanelKind::folder);
    ASSERT_EQ(dialogs.panels.size(), 1);
    EXPECT_TRUE(dialogs.panels[0].choosesDirectories);
    EXPECT_FALSE(dialogs.panels[0].choosesFiles);
    EXPECT_TRUE(host.isFilePanelOpen());
    dialogs.answerPanel(urls({"folder"}));
    EXPECT_FALSE(host.isFilePanelOpen());
    drainMainQueue();  // the import is asked for on the next turn
    finishBackground();
    EXPECT_EQ(names(), (QStringList{"sub", "x2", "x10"}));
}

TEST_F(DocumentImportTest, ReplaceResolvesTheClipWhenThePanelIsAnswered) {
    loadTab({still("A"), still("B"), still("C")});
    const QUuid b = rundown().currentGroup()->clips[1].id;

    // The clip moved while the panel was up: the same clip is replaced at its new place.
    workflow->presentReplace(1);
    EXPECT_TRUE(host.isFilePanelOpen());
    drainMainQueue();  // the panel is begun on the next turn
    ASSERT_EQ(dialogs.panels.size(), 1);
    EXPECT_TRUE(dialogs.panels[0].allowedExtensions.contains("mxf"));
    rundown().nudge({b}, -1);
    dialogs.answerPanel(urls({"a.mov"}));
    EXPECT_FALSE(host.isFilePanelOpen());
    EXPECT_EQ(rundown().currentGroup()->clips[0].url.fileName(), "a.mov");
    EXPECT_EQ(rundown().currentGroup()->clips[0].id, b);

    // The clip was deleted meanwhile (mended: the clip now at the index was replaced).
    workflow->presentReplace(0);
    drainMainQueue();
    rundown().removeClip(0);
    dialogs.answerPanel(urls({"b10.png"}));
    EXPECT_EQ(names(), (QStringList{"A", "C"}));
    EXPECT_EQ(host.statusLine, "差し替える素材が今のタブに無いため、差し替えませんでした");

    // Another tab became current meanwhile.
    workflow->replaceCursorClip();
    drainMainQueue();
    rundown().addGroup("Other");
    dialogs.answerPanel(urls({"b10.png"}));
    EXPECT_EQ(host.statusLine, "差し替える素材が今のタブに無いため、差し替えませんでした");
    rundown().selectGroup(0);

    workflow->presentReplace(0);
    drainMainQueue();
    dialogs.answerPanel(urls({"Notes.TXT"}));
    EXPECT_EQ(host.statusLine, "対応していないコーデック: TXT");
    EXPECT_EQ(names(), (QStringList{"A", "C"}));
}

TEST_F(DocumentImportTest, ReplaceIsRefusedOnAirBeforeAnyPanel) {
    loadTab(stills(2));
    engine->spacePressed();  // fading in
    ASSERT_EQ(engine->state(), PlayoutEngine::State::fadingIn);
    workflow->presentReplace(0);
    clock.advance(2);
    ASSERT_EQ(engine->state(), PlayoutEngine::State::on);
    workflow->replaceCursorClip();
    drainMainQueue();
    EXPECT_TRUE(dialogs.panels.isEmpty());
    EXPECT_TRUE(host.panelFlags.isEmpty());
    EXPECT_EQ(host.statusLine, "オンエア中は素材の差し替えはできません");
}

TEST_F(DocumentImportTest, ActivationReloadAndTheImageEditor) {
    int invalidated = 0;
    QObject::connect(&thumbnails, &ThumbnailCache::didInvalidate, [&] { ++invalidated; });
    host.reloadOnActivation = false;
    workflow->reloadMediaCachesAfterActivation();
    host.reloadOnActivation = true;
    host.loading = true;
    workflow->reloadMediaCachesAfterActivation();
    host.loading = false;
    host.panelFlags = {true};
    workflow->reloadMediaCachesAfterActivation();
    EXPECT_EQ(invalidated, 0);
    host.panelFlags = {false};
    workflow->reloadMediaCachesAfterActivation();
    EXPECT_EQ(invalidated, 1);

    workflow->openInPhotoshop(url(path("poster.png")));
    workflow->openInPhotoshop(url(path("poster.PSD")));
    EXPECT_EQ(opened, QList<QUrl>{url(path("poster.PSD"))});
    workflow->openInPhotoshop(url(path("locked.psd")));
    EXPECT_EQ(host.statusLine, "Photoshopで開けませんでした: denied");
    editorInstalled = false;
    workflow->openInPhotoshop(url(path("poster.psd")));
    EXPECT_EQ(host.statusLine, "Adobe Photoshopが見つかりません");
}

}  // namespace
}  // namespace velmar::test
