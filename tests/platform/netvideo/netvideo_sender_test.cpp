#include "netvideo_test_support.h"

#include <QStandardPaths>

#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>

namespace velmar::test {
namespace {

// A receiver inside the test: connects, sends garbage, then counts what arrives until the
// sender closes the stream.
class RawReceiver {
  public:
    explicit RawReceiver(const std::string& address) : fd_(connectTo(address)) {
        const char garbage[] = "GET / HTTP/1.0\r\n\r\n\x01\x02\xff";
        ::send(fd_, garbage, sizeof garbage, MSG_NOSIGNAL);
        reader_ = std::thread([this] {
            std::vector<char> buffer(1 << 20);
            for (;;) {
                const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
                if (n <= 0) break;
                if (received_ == 0) std::memcpy(head_, buffer.data(), 3);
                received_ += n;
            }
            closed_ = true;
        });
    }
    ~RawReceiver() {
        ::shutdown(fd_, SHUT_RDWR);
        if (reader_.joinable()) reader_.join();
        ::close(fd_);
    }
    int fd() const { return fd_; }
    long long received() const { return received_.load(); }
    bool closed() const { return closed_.load(); }
    std::string head() const { return std::string(head_, 3); }

  private:
    int fd_ = -1;
    std::thread reader_;
    std::atomic<long long> received_{0};
    std::atomic<bool> closed_{false};
    char head_[3] = {};
};

struct SenderFixture : ::testing::Test {
    PrivateRuntimeDir runtimeDir;
    NetVideoModule module;
    VelmarNetVideoSender* sender = nullptr;
    std::string name;

    void SetUp() override {
        ASSERT_TRUE(module.api) << netVideoLibraryPath();
        module.setFaults(0);
        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        VelmarNetVideoSenderSettings settings{name.c_str(), nullptr, 0, 0};
        sender = module.api->sendCreate(&settings);
        ASSERT_TRUE(sender);
    }
    void TearDown() override {
        // No flush: a test's pictures may be gone by now.
        if (sender) module.api->sendDestroy(sender);
    }
    int count() const { return module.api->sendGetConnections(sender, 0); }
    std::string url() const { return "tcp://" + runtimeDir.address(name); }

    void sendPicture(const std::vector<uint8_t>& bytes, int width, int height, int stride,
                     int rateN = 30, int rateD = 1) {
        const VelmarNetVideoVideoFrame frame{.xres = width,
                                             .yres = height,
                                             .fourCC = kNetVideoFourCCBGRA,
                                             .frameRateN = rateN,
                                             .frameRateD = rateD,
                                             .data = bytes.data(),
                                             .lineStrideInBytes = stride};
        module.api->sendVideoAsync(sender, &frame);
    }
};

// Picture i: every byte a function of position and i; the row padding is 0xEE.
std::vector<uint8_t> picture(int i, int width, int height, int stride) {
    std::vector<uint8_t> bytes(size_t(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 4; ++x)
            bytes[size_t(y) * stride + x] = uint8_t(x * 7 + y * 3 + i * 11);
    return bytes;
}

TEST_F(SenderFixture, AnFfmpegReceiverGetsThePicturesFromItsJoinWithoutTheRowPadding) {
    const int width = 40, height = 18, stride = width * 4 + 24;
    QTemporaryDir out;
    const std::string video = out.path().toStdString() + "/v.raw";
    ChildProcess ffmpeg({"ffmpeg", "-nostdin", "-v", "error", "-f", "nut", "-i", url(), "-frames:v",
                         "3", "-f", "rawvideo", "-pix_fmt", "bgra", video},
                        out.path().toStdString() + "/log");
    ASSERT_TRUE(waitUntil([&] { return count() == 1; }, std::chrono::seconds(20)));
    std::vector<std::vector<uint8_t>> pictures;
    ASSERT_TRUE(waitUntil([&] { return ffmpeg.exited(); }, std::chrono::seconds(30),
                          [&] {
                              pictures.push_back(
                                  picture(int(pictures.size()), width, height, stride));
                              sendPicture(pictures.back(), width, height, stride);
                          }));
    EXPECT_EQ(ffmpeg.exitCode(), 0) << readText(out.path().toStdString() + "/log");
    const auto got = readFile(video);
    ASSERT_EQ(got.size(), size_t(3 * width * 4 * height));
    for (int f = 0; f < 3; ++f)
        for (int y = 0; y < height; ++y)
            ASSERT_EQ(std::memcmp(got.data() + (size_t(f) * height + y) * width * 4,
                                  pictures[f].data() + size_t(y) * stride, size_t(width) * 4),
                      0)
                << "picture " << f << " row " << y;
}

TEST_F(SenderFixture, CountsReceiversAndDropsKilledAndStoppedOnesWithoutHoldingUpTheOthers) {
    if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) GTEST_SKIP() << "no ffmpeg";
    const int width = 1920, height = 1080;
    QTemporaryDir out;
    auto receiver = [&](const char* log) {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{"ffmpeg", "-nostdin", "-v", "error", "-f", "nut", "-i", url(),
                                     "-f", "null", "-"},
            out.path().toStdString() + log);
    };
    auto killed = receiver("/killed");
    ASSERT_TRUE(waitUntil([&] { return count() == 1; }, std::chrono::seconds(20)));
    auto stopped = receiver("/stopped");
    ASSERT_TRUE(waitUntil([&] { return count() == 2; }, std::chrono::seconds(20)));
    RawReceiver garbageSender(runtimeDir.address(name));
    ASSERT_TRUE(waitUntil([&] { return count() == 3; }, std::chrono::seconds(20)));

    const auto bytes = picture(0, width, height, width * 4);
    auto send = [&] { sendPicture(bytes, width, height, width * 4); };
    ASSERT_TRUE(
        waitUntil([&] { return garbageSender.received() > 0; }, std::chrono::seconds(20), send));
    EXPECT_EQ(garbageSender.head(), "nut") << "the stream starts with the NUT signature";

    killed->signal(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return count() == 2; }, std::chrono::seconds(20), send));
    // A receiver that stops reading (its process stopped) is dropped once nothing has gone out
    // to it for two seconds (counted from its last progress, which may precede the stop);
    // the sends meanwhile go on.
    stopped->signal(SIGSTOP);
    ASSERT_TRUE(waitUntil([&] { return count() == 1; }, std::chrono::seconds(30), send))
        << "receivers left: " << count() << ", the raw one closed: " << garbageSender.closed();
    const long long before = garbageSender.received();
    EXPECT_TRUE(waitUntil([&] { return garbageSender.received() > before + width * height * 4; },
                          std::chrono::seconds(20), send))
        << "the remaining receiver keeps receiving";
    EXPECT_FALSE(garbageSender.closed());
}

// Peers that connect and then neither read nor send: no more than the cap are taken in, the
// rest are closed at once; once pictures flow, those that take nothing are dropped and a
// receiver that reads gets in.
TEST_F(SenderFixture, TakesInNoMoreReceiversThanTheCapAndDropsThoseThatNeverRead) {
    const std::string address = runtimeDir.address(name);
    const VelmarNetVideoStats start = module.stats();
    std::vector<int> silent;
    for (int i = 0; i < kNetVideoMaxReceivers; ++i) silent.push_back(connectTo(address));
    ASSERT_TRUE(
        waitUntil([&] { return count() == kNetVideoMaxReceivers; }, std::chrono::seconds(20)));
    for (int i = 1; i <= 2 * kNetVideoMaxReceivers; ++i) {
        const int extra = connectTo(address);
        const bool closed = closedBySender(extra);
        ::close(extra);
        ASSERT_TRUE(closed) << "connection " << kNetVideoMaxReceivers + i;
    }
    EXPECT_EQ(count(), kNetVideoMaxReceivers);
    EXPECT_EQ(module.stats().receiversRefused - start.receiversRefused, 2 * kNetVideoMaxReceivers);

    // A 1080p picture is more than the socket buffers of a peer that never reads can take.
    const int width = 1920, height = 1080;
    const auto bytes = picture(0, width, height, width * 4);
    auto send = [&] { sendPicture(bytes, width, height, width * 4); };
    ASSERT_TRUE(waitUntil([&] { return count() == 0; }, std::chrono::seconds(30), send));
    EXPECT_EQ(module.stats().receiversDropped - start.receiversDropped, kNetVideoMaxReceivers);
    RawReceiver reader(address);
    EXPECT_TRUE(waitUntil([&] { return reader.received() > 2LL * width * height * 4; },
                          std::chrono::seconds(20), send));
    for (const int fd : silent) ::close(fd);
}

// A receiver that keeps sending, where receivers only read, is dropped; one that said a few
// bytes once (the raw receiver's garbage) keeps receiving meanwhile.
TEST_F(SenderFixture, DropsAReceiverThatKeepsSendingWhileTheOthersKeepReceiving) {
    const std::string address = runtimeDir.address(name);
    const VelmarNetVideoStats start = module.stats();
    RawReceiver reader(address);
    RawReceiver talker(address);
    ASSERT_TRUE(waitUntil([&] { return count() == 2; }, std::chrono::seconds(20)));
    std::thread flood([fd = talker.fd()] {
        const std::vector<char> chunk(1 << 16, 'x');
        while (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
        }
    });
    const auto bytes = picture(0, 64, 32, 256);
    auto send = [&] { sendPicture(bytes, 64, 32, 256); };
    const bool dropped = waitUntil([&] { return talker.closed(); }, std::chrono::seconds(20), send);
    ::shutdown(talker.fd(), SHUT_RDWR);  // ends the flood if the sender did not
    flood.join();
    ASSERT_TRUE(dropped);
    EXPECT_EQ(module.stats().receiversDropped - start.receiversDropped, 1);
    EXPECT_EQ(count(), 1);
    const long long before = reader.received();
    EXPECT_TRUE(waitUntil([&] { return reader.received() > before + 3 * 64 * 32 * 4; },
                          std::chrono::seconds(20), send));
    EXPECT_FALSE(reader.closed());
}

// A receiver that shuts its sending side has said all it will say, not hung up: it goes on
// receiving.
TEST_F(SenderFixture, AReceiverThatShutsItsSendingSideKeepsReceiving) {
    RawReceiver receiver(runtimeDir.address(name));
    ASSERT_TRUE(waitUntil([&] { return count() == 1; }, std::chrono::seconds(20)));
    ASSERT_EQ(::shutdown(receiver.fd(), SHUT_WR), 0);
    const auto bytes = picture(0, 64, 32, 256);
    EXPECT_TRUE(waitUntil([&] { return receiver.received() > 3 * 64 * 32 * 4; },
                          std::chrono::seconds(20), [&] { sendPicture(bytes, 64, 32, 256); }));
    EXPECT_FALSE(receiver.closed());
    EXPECT_EQ(count(), 1);
}

// Its socket stays readable (end of input) from then on: the writer no longer polls it for input,
// so with nothing to send it rests between its polls instead of spinning.
TEST_F(SenderFixture, AReceiverThatShutsItsSendingSideLeavesTheWriterAtRest) {
    RawReceiver receiver(runtimeDir.address(name));
    ASSERT_TRUE(waitUntil([&] { return count() == 1; }, std::chrono::seconds(20)));
    ASSERT_EQ(::shutdown(receiver.fd(), SHUT_WR), 0);
    // A rest counted now may have begun before the shutdown; the one after it cannot have.
    const int64_t before = module.stats().writerRests;
    EXPECT_TRUE(waitUntil([&] { return module.stats().writerRests >= before + 2; },
                          std::chrono::seconds(20)))
        << "the writer spins on the receiver's end of input";
    EXPECT_EQ(count(), 1);
}

// The first byte value that fills a run of at least `run` bytes on the socket, after `skip`
// such runs; 0 when the stream ends or the socket's read timeout passes first.
int nextLongRun(int fd, int skip, size_t run = 4096) {
    std::vector<uint8_t> buffer(1 << 16);
    int value = -1;
    size_t length = 0;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) return 0;
        for (ssize_t i = 0; i < n; ++i) {
            length = buffer[size_t(i)] == value ? length + 1 : 1;
            value = buffer[size_t(i)];
            if (length == run && skip-- == 0) return value;
        }
    }
}

// A receiver that stops reading holds at most two pictures queued besides the one it is taking,
// the oldest skipped first: when it reads again, the picture after its current one is the
// second newest sent.
TEST_F(SenderFixture, AReceiverThatFallsBehindGetsTheTwoNewestPicturesNext) {
    // One picture is larger than both socket buffers together, so it stays partly unsent.
    const int width = 1920, height = 1080, stride = width * 4;
    auto flat = [&](uint8_t value) { return std::vector<uint8_t>(size_t(stride) * height, value); };
    const std::vector<uint8_t> first = flat(0x10), middle = flat(0x11), seventh = flat(0x17),
                               eighth = flat(0x18), ninth = flat(0x19);
    const int fd = connectTo(runtimeDir.address(name));
    const timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ASSERT_TRUE(waitUntil([&] { return count() == 1; }, std::chrono::seconds(20)));
    sendPicture(first, width, height, stride);
    char byte = 0;
    ASSERT_EQ(::recv(fd, &byte, 1, 0), 1) << "the first picture is muxed and on its way";
    for (int i = 1; i <= 9; ++i) {
        const auto& picture = i == 7 ? seventh : i == 8 ? eighth : i == 9 ? ninth : middle;
        sendPicture(picture, width, height, stride);
    }
    EXPECT_EQ(nextLongRun(fd, 1), 0x18) << "after the first picture comes the eighth";
    EXPECT_EQ(nextLongRun(fd, 1), 0x19) << "then the ninth";
    ::close(fd);
}

TEST_F(SenderFixture, AChangeOfSizeOrRateEndsTheStreamsAndANewReceiverGetsTheNewFormat) {
    const auto small = picture(0, 32, 16, 128);
    const auto wide = picture(0, 48, 16, 192);
    auto endsStreamsOn = [&](const std::vector<uint8_t>& bytes, int width, int rateN) {
        sendPicture(small, 32, 16, 128);
        RawReceiver receiver(runtimeDir.address(name));
        EXPECT_TRUE(waitUntil([&] { return receiver.received() > 0; }, std::chrono::seconds(20),
                              [&] { sendPicture(small, 32, 16, 128); }));
        sendPicture(bytes, width, 16, width * 4, rateN);
        EXPECT_TRUE(waitUntil([&] { return receiver.closed(); }, std::chrono::seconds(20)));
        EXPECT_EQ(count(), 0);
    };
    endsStreamsOn(wide, 48, 30);
    endsStreamsOn(small, 32, 25);

    QTemporaryDir out;
    const std::string log = out.path().toStdString() + "/probe";
    ChildProcess probe({"ffprobe", "-v", "error", "-show_entries",
                        "stream=width,height,r_frame_rate", "-of", "csv=p=0", url()},
                       log);
    ASSERT_TRUE(waitUntil([&] { return probe.exited(); }, std::chrono::seconds(30),
                          [&] { sendPicture(wide, 48, 16, 192, 30000, 1001); }));
    EXPECT_EQ(readText(log).substr(0, 17), "48,16,30000/1001\n") << readText(log);
}

TEST_F(SenderFixture, ChecksTheLendingContractAndRefusesPicturesItCannotReadSafely) {
    const VelmarNetVideoStats start = module.stats();
    // Rows of 160 bytes: one whole block of 128 and a tail of 32 (read by different code).
    auto lent = picture(0, 40, 8, 176);
    sendPicture(lent, 40, 8, 176);
    lent[176 * 3 + 100] ^= 1;  // changed while lent, in a block
    auto next = picture(1, 40, 8, 176);
    sendPicture(next, 40, 8, 176);
    lent[176 * 5 + 10] ^= 1;        // `lent` is the caller's again: not counted
    next[176 * 6 + 140] ^= 4;       // changed while lent, in a tail
    sendPicture(lent, 40, 8, 176);  // lent anew
    lent[176 * 7 + 165] ^= 1;       // in the row padding, which is not sent: not counted
    module.api->sendVideoAsync(sender, nullptr);
    lent[0] ^= 1;  // after the flush it is the caller's again
    module.api->sendVideoAsync(sender, nullptr);

    // Rows shorter than the width: the buffer holds exactly stride x height bytes, so reading
    // a full row would run past it (the sanitizer build catches that).
    std::vector<uint8_t> narrow(size_t(60) * 8);
    sendPicture(narrow, 16, 8, 60);
    sendPicture(lent, 0, 8, 64);
    sendPicture(lent, 16, 8, 64, 0, 1);
    const VelmarNetVideoVideoFrame nullData{.xres = 16,
                                            .yres = 8,
                                            .fourCC = kNetVideoFourCCBGRA,
                                            .frameRateN = 30,
                                            .frameRateD = 1,
                                            .lineStrideInBytes = 64};
    module.api->sendVideoAsync(sender, &nullData);

    const VelmarNetVideoStats end = module.stats();
    EXPECT_EQ(end.contractViolations - start.contractViolations, 2);
    EXPECT_EQ(end.videoFramesAccepted - start.videoFramesAccepted, 3);
    EXPECT_EQ(end.videoFramesRefused - start.videoFramesRefused, 4);
}

// Sets environment variables for one test and puts the old values back.
class ScopedEnvironment {
  public:
    void set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->second ? ::setenv(it->first, it->second->c_str(), 1) : ::unsetenv(it->first);
    }

  private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

struct AddressFileTest : ::testing::Test {
    NetVideoModule module;
    void SetUp() override {
        ASSERT_TRUE(module.api);
        module.setFaults(0);
    }
    VelmarNetVideoSender* create() const {
        const VelmarNetVideoSenderSettings settings{"feed", nullptr, 0, 0};
        return module.api->sendCreate(&settings);
    }
};

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST_F(AddressFileTest, IsWrittenThroughNoPlantedLinkAndRemovedOnlyWhileItIsTheSenders) {
    PrivateRuntimeDir runtimeDir;
    const std::string dir = runtimeDir.dir.path().toStdString(), file = dir + "/feed.netvideo";
    QTemporaryDir elsewhere;
    const std::string victim = elsewhere.path().toStdString() + "/victim";
    std::ofstream(victim) << "keep";
    ASSERT_EQ(::symlink(victim.c_str(), (file + ".tmp").c_str()), 0);
    VelmarNetVideoSender* sender = create();
    ASSERT_TRUE(sender);
    EXPECT_EQ(readText(victim), "keep");
    EXPECT_EQ(modeOf(file), S_IFREG | 0600);
    const int fd = connectTo(runtimeDir.address("feed"));
    EXPECT_TRUE(waitUntil([&] { return module.api->sendGetConnections(sender, 0) == 1; },
                          std::chrono::seconds(20)))
        << "the file holds the sender's address";
    ::close(fd);

    // A newer sender of the same name put its own file in place: that one stays.
    std::ofstream(dir + "/newer") << "127.0.0.1:1\n";
    ASSERT_EQ(::rename((dir + "/newer").c_str(), file.c_str()), 0);
    module.api->sendDestroy(sender);
    EXPECT_EQ(readText(file), "127.0.0.1:1\n");
}

// A runtime folder open to others is passed over for a folder of the sender's own under
// $TMPDIR, made closed to others; that one is refused when it is a link or open to others.
TEST_F(AddressFileTest, NoPlaceOpenToOthersIsUsed) {
    QTemporaryDir shared, temporary;
    ASSERT_EQ(::chmod(shared.path().toUtf8().constData(), 0777), 0);
    ScopedEnvironment environment;
    environment.set("XDG_RUNTIME_DIR", shared.path().toStdString());
    environment.set("TMPDIR", temporary.path().toStdString());
    const std::string own =
        temporary.path().toStdString() + "/velmar-netvideo-" + std::to_string(::getuid());
    VelmarNetVideoSender* sender = create();
    ASSERT_TRUE(sender);
    EXPECT_EQ(modeOf(shared.path().toStdString() + "/feed.netvideo"), 0u);
    EXPECT_EQ(modeOf(own), S_IFDIR | 0700);
    EXPECT_EQ(modeOf(own + "/feed.netvideo"), S_IFREG | 0600);
    module.api->sendDestroy(sender);

    auto refused = [&] {
        VelmarNetVideoSender* s = create();
        if (s) module.api->sendDestroy(s);
        return s == nullptr;
    };
    ASSERT_EQ(::chmod(own.c_str(), 0755), 0);
    EXPECT_TRUE(refused()) << "open to others";
    ASSERT_EQ(::rmdir(own.c_str()), 0);
    const std::string target = temporary.path().toStdString() + "/target";
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(target.c_str(), own.c_str()), 0);
    EXPECT_TRUE(refused()) << "a link";
    EXPECT_EQ(modeOf(target + "/feed.netvideo"), 0u);
}

// A folder that the user's group may read, enter or write to is open to others as much as one
// that everyone may: any permission beyond the owner's refuses it.
TEST_F(AddressFileTest, AFolderOpenToItsGroupOrToOthersAtAllIsRefused) {
    QTemporaryDir temporary;
    ScopedEnvironment environment;
    environment.set("XDG_RUNTIME_DIR", "");
    environment.set("TMPDIR", temporary.path().toStdString());
    const std::string own =
        temporary.path().toStdString() + "/velmar-netvideo-" + std::to_string(::getuid());
    ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
    for (const mode_t mode : {0750, 0770, 0710, 0701, 0700}) {
        ASSERT_EQ(::chmod(own.c_str(), mode), 0);
        VelmarNetVideoSender* sender = create();
        if (sender) module.api->sendDestroy(sender);
        EXPECT_EQ(sender != nullptr, mode == 0700) << std::oct << mode;
    }
}

}  // namespace
}  // namespace velmar::test
