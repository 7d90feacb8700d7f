#include "output/zr_ndi_bridge.h"

#include "models/language_settings.h"
#include "platform/netvideo/netvideo_test_support.h"
#include "support/qt_printers.h"

#include <sys/stat.h>

#include <filesystem>

namespace velmar::test {
namespace {

namespace fs = std::filesystem;

// Copies of the module in their own folders load as separate libraries.
std::string copyOfModule(const QTemporaryDir& root, const std::string& folder) {
    const fs::path dir = fs::path(root.path().toStdString()) / folder;
    fs::create_directories(dir);
    const fs::path file = dir / kNetVideoLibraryName;
    fs::copy_file(netVideoLibraryPath(), file);
    return file.string();
}

TEST(ZRNDIBridgeLoader, TriesCandidatesInOrderPastMissingFilesAndRuntimesThatFailToInitialize) {
    QTemporaryDir root;
    const std::string failing = copyOfModule(root, "failing");
    const std::string good = copyOfModule(root, "good");
    NetVideoModule failingModule(failing);
    failingModule.setFaults(kVelmarNetVideoFailInitialize);
    const std::string missing = root.path().toStdString() + "/none/" + kNetVideoLibraryName;

    const auto loaded = ZRNDIBridge::loadRuntime({missing, failing, good});
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->path, good);
    EXPECT_FALSE(ZRNDIBridge::loadRuntime({missing, failing}));

    const std::string own = fs::read_symlink("/proc/self/exe").parent_path().string();
    setenv("NDI_RUNTIME_DIR_V6", "", 1);
    EXPECT_EQ(ZRNDIBridge::runtimeCandidates(),
              (std::vector<std::string>{own + "/libvelmar-netvideo.so",
                                        "/usr/local/lib/libvelmar-netvideo.so"}));
    // The process's runtime comes from the folder the variable names, and is kept once loaded
    // (a repeated run of this test finds the first run's).
    const std::string folder = fs::path(good).parent_path().string();
    setenv("NDI_RUNTIME_DIR_V6", folder.c_str(), 1);
    EXPECT_EQ(ZRNDIBridge::runtimeCandidates().front(), good);
    static const std::string firstGood = good;
    EXPECT_EQ(ZRNDIBridge::runtimePath(), firstGood);
    unsetenv("NDI_RUNTIME_DIR_V6");
}

struct BridgeFixture : ::testing::Test {
    PrivateRuntimeDir runtimeDir;
    NetVideoModule module;
    std::optional<ZRNDIBridge::Runtime> runtime = ZRNDIBridge::loadRuntime({netVideoLibraryPath()});

    void SetUp() override {
        ASSERT_TRUE(runtime);
        module.setFaults(0);
    }
    void TearDown() override { module.setFaults(0); }
};

TEST_F(BridgeFixture, AFailedStartLeavesItsMessageAndNoSender) {
    const struct {
        bool haveRuntime;
        unsigned faults;
        QString message;
    } cases[] = {
        {false, 0, ZRNDIBridge::runtimeMissingMessage()},
        {true, kVelmarNetVideoUnsupportedCPU, "このコンピュータの CPU は NDI に対応していません"},
        {true, kVelmarNetVideoRefuseSender, "NDI の送信を開始できません"},
    };
    EXPECT_TRUE(ZRNDIBridge::runtimeMissingMessage().startsWith("NDI Runtime が見つかりません。"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        module.setFaults(c.faults);
        ZRNDIBridge bridge(c.haveRuntime ? runtime : std::nullopt);
        EXPECT_FALSE(bridge.startWithName("DOVRINE"));
        EXPECT_EQ(bridge.errorMessage(), c.message);
        EXPECT_FALSE(bridge.isRunning());
        EXPECT_EQ(bridge.connectionCount(), 0);
        bridge.sendVideoBGRA("xxxx", 1, 1, 4, 30, 1);  // no sender: nothing happens
        bridge.stop();
    }
    // A good start clears the last message.
    module.setFaults(kVelmarNetVideoRefuseSender);
    ZRNDIBridge bridge(runtime);
    EXPECT_FALSE(bridge.startWithName("DOVRINE"));
    module.setFaults(0);
    EXPECT_TRUE(bridge.startWithName("DOVRINE"));
    EXPECT_EQ(bridge.errorMessage(), std::nullopt);
}

// The address folder under $TMPDIR (the runtime folder being open to others) is refused with
// one bit open to the group: the message names it in the language in force, and is not left
// behind for a later failure of another kind on the same thread.
TEST_F(BridgeFixture, ARefusedAddressFolderIsNamedInTheLanguageInForce) {
    QTemporaryDir shared, temporary;
    ASSERT_EQ(::chmod(shared.path().toUtf8().constData(), 0777), 0);
    const char* oldTemporary = std::getenv("TMPDIR");
    const std::string savedTemporary = oldTemporary ? oldTemporary : "";
    setenv("XDG_RUNTIME_DIR", shared.path().toUtf8().constData(), 1);
    setenv("TMPDIR", temporary.path().toUtf8().constData(), 1);
    const std::string own =
        temporary.path().toStdString() + "/velmar-netvideo-" + std::to_string(::getuid());
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(own.c_str(), 0710), 0);
    const QString folder = QString::fromStdString(own);
    LanguageSettings& language = LanguageSettings::shared();
    const AppLanguage savedLanguage = language.language();

    ZRNDIBridge bridge(runtime);
    language.setLanguage(AppLanguage::en);
    EXPECT_FALSE(bridge.startWithName("DOVRINE"));
    EXPECT_EQ(bridge.errorMessage().value_or(""),
              "Cannot start sending NDI: the folder " + folder +
                  ", where the address is written, is not this user's "
                  "alone (nor may it be a link)");
    language.setLanguage(AppLanguage::ja);
    EXPECT_FALSE(bridge.startWithName("DOVRINE"));
    EXPECT_EQ(bridge.errorMessage().value_or(""),
              "NDI の送信を開始できません: 接続先を書くフォルダ " + folder +
                  " が自分専用ではありません（リンクも使いません）");

    // A link in the folder's place, even to a folder of this user alone, is refused as such.
    ASSERT_EQ(::rmdir(own.c_str()), 0);
    ASSERT_EQ(::symlink(runtimeDir.dir.path().toUtf8().constData(), own.c_str()), 0);
    EXPECT_FALSE(bridge.startWithName("DOVRINE"));
    EXPECT_EQ(bridge.errorMessage().value_or(""),
              "NDI の送信を開始できません: 接続先を書くフォルダ " + folder +
                  " が自分専用ではありません（リンクも使いません）");
    ASSERT_EQ(::unlink(own.c_str()), 0);

    // A file in the folder's place cannot be opened as one: not named as a folder refused.
    QFile inTheWay(folder);
    ASSERT_TRUE(inTheWay.open(QIODevice::WriteOnly));
    inTheWay.close();
    EXPECT_FALSE(bridge.startWithName("DOVRINE"));
    EXPECT_EQ(bridge.errorMessage().value_or(""), "NDI の送信を開始できません");
    ASSERT_TRUE(inTheWay.remove());
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);

    module.setFaults(kVelmarNetVideoRefuseSender);
    EXPECT_FALSE(bridge.startWithName("DOVRINE"));
    EXPECT_EQ(bridge.errorMessage().value_or(""), "NDI の送信を開始できません");
    module.setFaults(0);
    EXPECT_TRUE(bridge.startWithName("DOVRINE"));
    bridge.stop();

    language.setLanguage(savedLanguage);
    setenv("XDG_RUNTIME_DIR", runtimeDir.dir.path().toUtf8().constData(), 1);
    oldTemporary ? setenv("TMPDIR", savedTemporary.c_str(), 1) : unsetenv("TMPDIR");
}

TEST_F(BridgeFixture, ASecondStartKeepsTheSenderAndStopIsHarmlessTwice) {
    ZRNDIBridge bridge(runtime);
    ASSERT_TRUE(bridge.startWithName("DOVRINE"));
    const std::string address = runtimeDir.address("DOVRINE");
    ASSERT_FALSE(address.empty());
    EXPECT_TRUE(bridge.startWithName("DOVRINE"));
    EXPECT_EQ(runtimeDir.address("DOVRINE"), address) << "no second sender";
    bridge.stop();
    EXPECT_FALSE(bridge.isRunning());
    EXPECT_EQ(runtimeDir.address("DOVRINE"), "") << "the sender is gone";
    bridge.stop();
    EXPECT_EQ(bridge.connectionCount(), 0);
}

TEST_F(BridgeFixture, SendsOnlyWhatTheRuntimeCanReadAndDefaultsTheRate) {
    std::vector<uint8_t> picture(size_t(16) * 4 * 8, 0x40);  // outlives the bridge's flush
    ZRNDIBridge bridge(runtime);
    ASSERT_TRUE(bridge.startWithName("DOVRINE"));
    const VelmarNetVideoStats before = module.stats();
    bridge.sendVideoBGRA(picture.data(), 16, 8, 60, 30, 1);  // rows shorter than the width
    bridge.sendVideoBGRA(picture.data(), 0, 8, 64, 30, 1);
    bridge.sendVideoBGRA(picture.data(), 16, 0, 64, 30, 1);
    bridge.sendVideoBGRA(nullptr, 16, 8, 64, 30, 1);
    EXPECT_EQ(module.stats().videoFramesAccepted, before.videoFramesAccepted);
    EXPECT_EQ(module.stats().videoFramesRefused, before.videoFramesRefused) << "never reached it";

    bridge.sendVideoBGRA(picture.data(), 16, 8, 64, 0, 0);
    const VelmarNetVideoStats after = module.stats();
    EXPECT_EQ(after.videoFramesAccepted, before.videoFramesAccepted + 1);
    EXPECT_EQ(after.lastFrameRateN, 60000);
    EXPECT_EQ(after.lastFrameRateD, 1001);
}

}  // namespace
}  // namespace velmar::test
