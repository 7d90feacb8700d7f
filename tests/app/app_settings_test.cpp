// Reading the persisted settings with their defaults and clamps, writing them back in the
// stored JSON types, and the fader's square law.
#include "app_state_fixture.h"

#include "app/app_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cmath>
#include <limits>

namespace velmar::test {
namespace {

// Every field, for comparison with readable differences.
QString describe(const AppSettings& s) {
    return QStringList{QString::number(s.backgroundLevel),
                       QString::number(s.selectedDeckLinkIndex),
                       QString::number(s.selectedScreenIndex),
                       QString::number(s.chromaKeyEnabled),
                       s.chromaKeyColor.toRgb().name(),
                       QString::number(s.useExternalKeyer),
                       s.sdiBitDepth.rawValue(),
                       rawValue(s.obsTransport),
                       s.previewBackground.rawValue(),
                       QString::number(s.reloadMediaOnActivation),
                       QString::number(s.sdiEmbedAudio),
                       QString::number(s.sdiMutesLocalAudio),
                       QString::number(s.faderPosition),
                       QString::number(s.programOnLeft),
                       QString::number(s.stripRightToLeft),
                       QString::number(s.ledCabinet.width),
                       QString::number(s.ledCabinet.height),
                       QString::number(s.centerColumnWidth)}
        .join(' ');
}

TEST_F(AppStateFixture, SettingsReadWithTheirDefaultsAndClampsAndBadInputNeverCrashes) {
    const struct {
        const char* name;
        QByteArray file;
        std::function<void(AppSettings&)> expect;  // applied to the fresh settings
    } cases[] = {
        {"fresh installation", "", [](AppSettings&) {}},
        {"cut short: what parses is kept", "{\"backgroundLevel\": 2,",
         [](AppSettings& s) { s.backgroundLevel = 2; }},
        {"level above", R"({"backgroundLevel": 7})", [](AppSettings& s) { s.backgroundLevel = 3; }},
        {"integers negative or beyond 64 bits",
         R"({"backgroundLevel": -2, "selectedDeckLinkIndex": -5, "selectedScreenIndex": 1e30})",
         [](AppSettings&) {}},
        {"huge index within 64 bits", R"({"selectedScreenIndex": 9000000000})",
         [](AppSettings& s) { s.selectedScreenIndex = std::numeric_limits<int>::max(); }},
        {"column narrow", R"({"centerColumnWidth": 100})",
         [](AppSettings& s) { s.centerColumnWidth = 150; }},
        {"column wide", R"({"centerColumnWidth": 300})",
         [](AppSettings& s) { s.centerColumnWidth = 248; }},
        {"fader above", R"({"faderPosition": 1.5})", [](AppSettings&) {}},
        {"fader below", R"({"faderPosition": -0.3})", [](AppSettings& s) { s.faderPosition = 0; }},
        {"fader infinite", R"({"faderPosition": 1e999})", [](AppSettings&) {}},
        {"fader half", R"({"faderPosition": 0.5})", [](AppSettings& s) { s.faderPosition = 0.5; }},
        {"colour of four numbers", R"({"chromaKeyColor": [1, 0, 0, 1]})", [](AppSettings&) {}},
        {"colour of three strings", R"({"chromaKeyColor": ["1", "0", "0"]})", [](AppSettings&) {}},
        {"colour of three numbers", R"({"chromaKeyColor": [0, 0, 1]})",
         [](AppSettings& s) { s.chromaKeyColor = QColor::fromRgbF(0, 0, 1); }},
        {"cabinet with one bad side", R"({"ledCabinetWidth": 2000, "ledCabinetHeight": 7})",
         [](AppSettings&) {}},
        {"cabinet at the limits", R"({"ledCabinetWidth": 8, "ledCabinetHeight": 4096})",
         [](AppSettings& s) {
             s.ledCabinet = {8, 4096};
         }},
        {"cabinet with a fraction", R"({"ledCabinetWidth": 64.5, "ledCabinetHeight": 64})",
         [](AppSettings& s) {
             s.ledCabinet = {128, 64};
         }},
        {"fill only", R"({"sdiBitDepth": "tenBit"})",
         [](AppSettings& s) { s.sdiBitDepth = SDIBitDepth::tenBitFillOnly; }},
        {"fill and key", R"({"sdiBitDepth": "tenBitFillKey"})",
         [](AppSettings& s) { s.sdiBitDepth = SDIBitDepth::tenBit; }},
        {"unknown depth", R"({"sdiBitDepth": "twelveBit"})", [](AppSettings&) {}},
        {"network video", R"({"obsTransport": "ndi"})",
         [](AppSettings& s) { s.obsTransport = OBSTransport::ndi; }},
        {"unknown transport", R"({"obsTransport": "NDI"})", [](AppSettings&) {}},
        {"black background", R"({"previewBackground": "black"})",
         [](AppSettings& s) { s.previewBackground = PreviewBackground::black; }},
        {"wrong types read as defaults",
         R"({"useExternalKeyer": "no", "sdiEmbedAudio": 0, "faderPosition": "0.5",
             "backgroundLevel": true, "stripRightToLeft": null, "obsTransport": 1,
             "ledCabinetWidth": "64", "centerColumnWidth": [200]})",
         [](AppSettings&) {}},
        {"Booleans as stored",
         R"({"chromaKeyEnabled": true, "useExternalKeyer": false, "programOnLeft": true,
             "reloadMediaOnActivation": false, "sdiMutesLocalAudio": false})",
         [](AppSettings& s) {
             s.chromaKeyEnabled = true;
             s.useExternalKeyer = false;
             s.programOnLeft = true;
             s.reloadMediaOnActivation = false;
             s.sdiMutesLocalAudio = false;
         }},
    };
    for (const auto& c : cases) {
        writeSettings(c.file);
        AppSettings want;
        c.expect(want);
        EXPECT_EQ(describe(AppSettings::read(*defaults)), describe(want)) << c.name;
    }
}

TEST_F(AppStateFixture, FaderFollowsASquareLawAndStoresWhatItIsGiven) {
    writeSettings(R"({"faderPosition": 0.5})");
    make(false);
    EXPECT_EQ(app->engine().outputGain(), 0.25f) << "at construction, before any view";
    ASSERT_FALSE(bridgeGains.empty()) << "the gain reached the audio bridges at once";

    const struct {
        double position;
        float gain;
    } cases[] = {{0.5, 0.25f}, {2.0, 1.0f}, {std::nan(""), 0.0f}, {-1, 0.0f}, {0, 0.0f}, {1, 1.0f}};
    for (const auto& c : cases) {
        app->setFaderPosition(c.position);
        EXPECT_EQ(app->engine().outputGain(), c.gain) << c.position;
    }
    app->setFaderPosition(2.0);
    EXPECT_EQ(defaults->number("faderPosition"), 2.0) << "stored unclamped";
    make(false);
    EXPECT_EQ(app->faderPosition(), 1.0) << "clamped when read at the next launch";
}

// The file the setters wrote, read by jq: every key with the JSON type of the table.
TEST_F(AppStateFixture, SettersWriteEveryKeyInItsJsonTypeAndSurviveARestart) {
    make(false);
    app->setBackgroundLevel(9);
    app->setSelectedDeckLinkIndex(2);
    app->setSelectedScreenIndex(1);
    app->setChromaKeyEnabled(true);
    app->setChromaKeyColor(QColor::fromRgbF(1, 0, 1));
    app->setUseExternalKeyer(false);
    app->setSdiBitDepth(SDIBitDepth::tenBit);
    app->setObsTransport(OBSTransport::ndi);
    app->setPreviewBackground(PreviewBackground::black);
    app->setReloadMediaOnActivation(false);
    app->setSdiEmbedAudio(false);
    app->setSdiMutesLocalAudio(false);
    app->setFaderPosition(0.75);
    app->setProgramOnLeft(true);
    app->setStripRightToLeft(false);
    app->setLedCabinet({64, 32});
    app->setCenterColumnWidth(400);

    // JSON types as jq sees them: numbers bare, strings quoted, Booleans, a three-number array.
    const QString jq = QStandardPaths::findExecutable("jq");
    if (!jq.isEmpty()) {
        QProcess p;
        p.start(jq, {"-j", R"jq(to_entries | map("\(.key)=\(.value | tojson)") | join(" "))jq",
                     settingsPath()});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()),
                  "backgroundLevel=9 centerColumnWidth=400 chromaKeyColor=[1,0,1] "
                  "chromaKeyEnabled=true faderPosition=0.75 ledCabinetHeight=32 "
                  "ledCabinetWidth=64 obsTransport=\"ndi\" previewBackground=\"black\" "
                  "programOnLeft=true reloadMediaOnActivation=false "
                  "sdiBitDepth=\"tenBitFillKey\" sdiEmbedAudio=false sdiMutesLocalAudio=false "
                  "selectedDeckLinkIndex=2 selectedScreenIndex=1 stripRightToLeft=false "
                  "useExternalKeyer=false");
    }

    make(false);
    EXPECT_EQ(app->backgroundLevel(), 3);
    EXPECT_EQ(app->selectedDeckLinkIndex(), 2);
    EXPECT_TRUE(app->chromaKeyEnabled());
    EXPECT_EQ(app->chromaKeyColor().toRgb(), QColor::fromRgbF(1, 0, 1).toRgb());
    EXPECT_EQ(app->sdiBitDepth(), SDIBitDepth::tenBit);
    EXPECT_EQ(app->obsTransport(), OBSTransport::ndi);
    EXPECT_FALSE(app->sdiMutesLocalAudio());
    EXPECT_FALSE(SDIAudioBridge::shared().muteLocalWhileActive()) << "the ring learns it at launch";
    EXPECT_EQ(app->ledCabinet(), (LEDCabinetSize{64, 32}));
    EXPECT_EQ(app->centerColumnWidth(), 248);
}

// One stray comma: the file is kept under a dated name, every setting that parses survives the
// start and the next write, and the warning stays in the status line until acknowledged.
TEST_F(AppStateFixture, ASettingsFileThatDoesNotParseIsMovedAsideAndItsSettingsKept) {
    writeSettings(R"({"autosaveDirectoryPath": "/shows/auto", "backgroundLevel": 2,
                      "faderPosition": 1e309, "programOnLeft": true,})");
    make(false);
    const auto problem = defaults->problem();
    ASSERT_TRUE(problem.has_value());
    const QString moved = QFileInfo(problem->movedTo).fileName();
    EXPECT_TRUE(
        QRegularExpression("^settings\\d+\\.json\\.broken-\\d{8}-\\d{6}$").match(moved).hasMatch())
        << moved.toStdString();
    EXPECT_EQ(app->backgroundLevel(), 2);
    EXPECT_TRUE(app->programOnLeft());
    app->setStripRightToLeft(false);  // a write after the start
    app->engine().setLastMessage("SDI started");
    EXPECT_EQ(app->engine().standingWarning(), "設定ファイルを読み込めなかったため " + moved +
                                                   " に移し、読めた設定を引き継ぎました");

    UserDefaults reread(settingsPath());
    EXPECT_FALSE(reread.problem().has_value());
    EXPECT_EQ(reread.string("autosaveDirectoryPath"), "/shows/auto");
    EXPECT_EQ(reread.boolean("stripRightToLeft"), false);
    QFile aside(problem->movedTo);
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_TRUE(aside.readAll().endsWith("\"programOnLeft\": true,}"));
    log.flush();
    log.waitForPendingWrites();
    QFile logFile(log.fileName());
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        logFile.readAll().contains(("did not parse, moved to " + problem->movedTo).toUtf8()));
}

// Settings that cannot be written (a file where their folder was) are warned of once, in the
// status line and the log; the first change that is written again lifts the warning and says so.
TEST_F(AppStateFixture, SettingsThatCannotBeWrittenAreWarnedOfOnceUntilTheyAreWrittenAgain) {
    const QString folder = dir.path() + "/config";
    defaults = std::make_unique<UserDefaults>(folder + "/velmar.json");
    make(false);
    app->setProgramOnLeft(true);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    app->setStripRightToLeft(true);
    const QString warning =
        "設定を保存できません。変更は終了するまで保たれ、次の変更で保存し直します: " + folder +
        " is not a folder";
    EXPECT_EQ(app->engine().standingWarning(), warning);
    app->setBackgroundLevel(2);
    EXPECT_TRUE(app->stripRightToLeft());

    ASSERT_TRUE(QFile::remove(folder));
    app->setProgramOnLeft(false);  // the folder is made again
    EXPECT_EQ(app->engine().standingWarning(), "");
    EXPECT_EQ(status(), "設定の保存を再開しました");
    UserDefaults reread(folder + "/velmar.json");
    EXPECT_EQ(reread.boolean("stripRightToLeft"), true);
    EXPECT_EQ(reread.integer("backgroundLevel"), 2);

    log.flush();
    log.waitForPendingWrites();
    QFile logFile(log.fileName());
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(logFile.readAll());
    EXPECT_EQ(text.count(" cannot be written ("), 1) << text.toStdString();
    EXPECT_EQ(text.count(" written again"), 1) << text.toStdString();
}

// A settings file the operator made read-only stays as it is; the status line says so once,
// in its own words, and the changes hold for the run.
TEST_F(AppStateFixture, ASettingsFileMadeReadOnlyIsToldOnceAndLeftAsItIs) {
    writeSettings(R"({"backgroundLevel": 1})");
    ASSERT_EQ(::chmod(QFile::encodeName(settingsPath()).constData(), 0444), 0);
    make(false);
    app->setBackgroundLevel(2);
    app->engine().setLastMessage("SDI started");
    app->setProgramOnLeft(true);
    EXPECT_EQ(app->engine().standingWarning(),
              "設定ファイルが読み取り専用のため、変更はこの実行中のみ有効です");
    EXPECT_EQ(app->backgroundLevel(), 2);
    EXPECT_EQ(UserDefaults(settingsPath()).integer("backgroundLevel"), 1);

    log.flush();
    log.waitForPendingWrites();
    QFile logFile(log.fileName());
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(logFile.readAll()).count(" is read-only"), 1);
}

// The reason a settings file is not used is said in the language in force, not in the English
// of standard error.
TEST_F(AppStateFixture, WhyTheSettingsFileIsNotUsedIsSaidInTheInterfaceLanguage) {
    writeSettings(R"({"backgroundLevel": 1})");
    if (::chown(QFile::encodeName(settingsPath()).constData(), 65534, 65534) != 0)
        GTEST_SKIP() << "another user's file needs chown";
    defaults = std::make_unique<UserDefaults>(settingsPath());
    make(false);
    EXPECT_EQ(app->engine().standingWarning(),
              "設定ファイルを読み込めないため、設定を保存しません: "
              "他のユーザーのファイルが置かれています");
    EXPECT_EQ(app->backgroundLevel(), 0);
}

}  // namespace
}  // namespace velmar::test
