#include "platform/netvideo/netvideo_sender.h"

#include "platform/base/atomic_file_core.h"
#include "platform/netvideo/frame_digest.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace velmar::netvideo {

namespace {

constexpr int kMaxQueuedPictures = 2;
constexpr int64_t kMaxQueuedAudio = 96000;  // two seconds
constexpr auto kStallLimit = std::chrono::seconds(2);
constexpr int kMaxSide = 16384;
constexpr size_t kPoolLimit = 16;
// A receiver only reads; a few requests' worth of bytes are tolerated and then the peer is let go.
constexpr size_t kInputAllowance = 64 * 1024;
// Connections taken in (or refused) per visit of the writer, so that a peer that keeps
// connecting cannot hold it from the clients.
constexpr int kAcceptsPerVisit = 2 * kNetVideoMaxReceivers;
constexpr auto kAcceptPause = std::chrono::milliseconds(200);

// Troubles that peers cause, said in the program's log (standard error): one line per kind at
// most every ten seconds, with how many went unsaid, so that a peer that keeps at it cannot flood
// the log.
enum class Trouble { refused, stalled, talked, acceptFailed, kinds };

void report(Trouble kind, const std::string& text) {
    static std::mutex mutex;
    static std::chrono::steady_clock::time_point last[size_t(Trouble::kinds)];
    static int64_t unsaid[size_t(Trouble::kinds)];
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex);
    const size_t k = size_t(kind);
    if (last[k] != std::chrono::steady_clock::time_point{} &&
        now - last[k] < std::chrono::seconds(10)) {
        ++unsaid[k];
        return;
    }
    last[k] = now;
    if (unsaid[k] > 0)
        std::fprintf(stderr, "velmar: network video: %s (%lld more since the last report)\n",
                     text.c_str(), static_cast<long long>(unsaid[k]));
    else
        std::fprintf(stderr, "velmar: network video: %s\n", text.c_str());
    unsaid[k] = 0;
}

// A folder of this user that no one else can enter, opened so that later names are looked up
// in the folder that was checked. -1, with the reason in `why`, when it is missing, a link (when
// `noLink`), not a folder, another user's, or open to others. `refused` tells the last two and a
// link apart from a folder that could not be opened for another reason.
int openPrivateFolder(const std::string& path, bool noLink, std::string& why,
                      bool* refused = nullptr) {
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noLink ? O_NOFOLLOW : 0));
    if (fd < 0) {
        const int error = errno;
        // A link opened as a folder without following it fails with ENOTDIR (ELOOP elsewhere);
        // a file in the folder's place fails the same way and is not told as refused.
        struct stat st {};
        if (refused)
            *refused = error == ELOOP || (error == ENOTDIR && noLink &&
                                          ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        why = path + ": " + std::strerror(error);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid() || (st.st_mode & 0077) != 0) {
        if (refused) *refused = true;
        why = path + ": not a folder of this user closed to others";
        ::close(fd);
        return -1;
    }
    return fd;
}

// The address folder that the last attempt on this thread to make a sender refused; taken by
// the program through the exported call below, to say why its feed did not start.
thread_local std::string refusedFolder;

// The folder of the address files: $XDG_RUNTIME_DIR when it is ours and closed to others,
// else "velmar-netvideo-<uid>" under $TMPDIR (or /tmp), made 0700 when missing and refused when
// it is a link or not ours, for anyone could plant a file there that sends receivers elsewhere.
int openAddressFolder() {
    std::string why;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        const int fd = openPrivateFolder(runtime, false, why);
        if (fd >= 0) return fd;
        std::fprintf(stderr, "velmar: network video: the address file is not written in %s\n",
                     why.c_str());
    }
    const char* temporary = std::getenv("TMPDIR");
    const std::string path = std::string(temporary && temporary[0] == '/' ? temporary : "/tmp") +
                             "/velmar-netvideo-" + std::to_string(::getuid());
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "velmar: network video: cannot make %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return -1;
    }
    bool refused = false;
    const int fd = openPrivateFolder(path, true, why, &refused);
    if (fd < 0) {
        std::fprintf(stderr, "velmar: network video: refused %s\n", why.c_str());
        // Only a folder that is a link, another user's or open to others is named as such.
        if (refused) refusedFolder = path;
    }
    return fd;
}

// The sender's name as one file name: separators and leading dots become underscores.
std::string fileNameFor(const std::string& name) {
    std::string out = name.empty() ? std::string("sender") : name;
    for (char& c : out)
        if (c == '/' || c == '\0') c = '_';
    if (out[0] == '.') out[0] = '_';
    return out + ".netvideo";
}

// Writes the file through the program's one writer, so that a receiver reads either the old
// address or the whole new one. The sender's own file: replaced also when its write permission
// was taken.
bool writeAddressFile(int folderFd, const std::string& name, int port, struct stat& written) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "127.0.0.1:%d\n", port);
    atomic_file::Content content;
    content.data = text;
    content.size = size_t(length);
    atomic_file::Options options;
    options.readOnly = atomic_file::ReadOnlyTarget::replace;
    options.newFileMode = 0600;
    const int code = atomic_file::write(folderFd, name.c_str(), content, options, &written);
    if (code != 0) {
        std::fprintf(stderr, "velmar: network video: cannot write the address file %s: %s\n",
                     name.c_str(), atomic_file::errorText(code).c_str());
    }
    return code == 0;
}

int requestedPort() {
    const char* text = std::getenv("VELMAR_NETVIDEO_PORT");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long port = std::strtol(text, &end, 10);
    return *end == '\0' && port > 0 && port < 65536 ? int(port) : 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) size_t velmar_netvideo_take_refused_folder(
    char* buffer, size_t size) {
    const size_t length = refusedFolder.size();
    if (buffer && size > 0) {
        const size_t copied = std::min(length, size - 1);
        std::memcpy(buffer, refusedFolder.data(), copied);
        buffer[copied] = '\0';
    }
    refusedFolder.clear();
    return length;
}

RuntimeCounters& RuntimeCounters::shared() {
    static RuntimeCounters counters;
    return counters;
}

std::unique_ptr<NetVideoSender> NetVideoSender::create(const std::string& name) {
    refusedFolder.clear();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(requestedPort()));
    socklen_t length = sizeof address;
    int pipeFds[2] = {-1, -1};
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(fd);
        return nullptr;
    }
    const int port = ntohs(address.sin_port);
    const int folder = openAddressFolder();
    const std::string file = fileNameFor(name);
    struct stat written {};
    if (folder < 0 || !writeAddressFile(folder, file, port, written)) {
        if (folder >= 0) ::close(folder);
        ::close(fd);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return nullptr;
    }
    return std::unique_ptr<NetVideoSender>(new NetVideoSender(
        fd, port, pipeFds[0], pipeFds[1], folder, file, written.st_dev, written.st_ino));
}

NetVideoSender::NetVideoSender(int listenFd, int port, int wakeRead, int wakeWrite, int folderFd,
                               std::string addressFile, dev_t fileDevice, ino_t fileInode)
    : listenFd_(listenFd),
      port_(port),
      wakeRead_(wakeRead),
      wakeWrite_(wakeWrite),
      folderFd_(folderFd),
      addressFile_(std::move(addressFile)),
      fileDevice_(fileDevice),
      fileInode_(fileInode) {
    writer_ = std::thread([this] { run(); });
}

NetVideoSender::~NetVideoSender() {
    stopping_ = true;
    wake();
    writer_.join();
    for (const auto& client : clients_) countQueuedAudio(*client, -client->queuedAudio);
    clients_.clear();
    ::close(listenFd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
    // Only our own file: a newer sender of the same name keeps its address.
    struct stat st {};
    if (::fstatat(folderFd_, addressFile_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        st.st_dev == fileDevice_ && st.st_ino == fileInode_)
        ::unlinkat(folderFd_, addressFile_.c_str(), 0);
    ::close(folderFd_);
}

void NetVideoSender::wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);  // a full pipe wakes anyway
}

void NetVideoSender::settleLentFrame() {
    if (!lentData_) return;
    if (digestRows(lentData_, size_t(lentRowBytes_), size_t(lentStride_), lentHeight_) !=
        lentDigest_)
        ++RuntimeCounters::shared().contractViolations;
    lentData_ = nullptr;
}

std::shared_ptr<std::vector<uint8_t>> NetVideoSender::frameBuffer(size_t size) {
    for (auto it = pool_.begin(); it != pool_.end();) {
        if (it->use_count() == 1 && (*it)->size() == size) {
            std::atomic_thread_fence(std::memory_order_acquire);
            return *it;
        }
        it = it->use_count() == 1 && (*it)->size() != size ? pool_.erase(it) : it + 1;
    }
    auto buffer = std::make_shared<std::vector<uint8_t>>(size);
    if (pool_.size() < kPoolLimit) pool_.push_back(buffer);
    return buffer;
}

void NetVideoSender::sendVideo(const VelmarNetVideoVideoFrame* frame) {
    std::lock_guard sendLock(sendMutex_);
    settleLentFrame();
    if (!frame) return;
    RuntimeCounters& counters = RuntimeCounters::shared();
    const bool valid = frame->xres >= 1 && frame->yres >= 1 && frame->xres <= kMaxSide &&
                       frame->yres <= kMaxSide && frame->data &&
                       frame->fourCC == kNetVideoFourCCBGRA && frame->frameRateN > 0 &&
                       frame->frameRateD > 0 &&
                       int64_t(frame->lineStrideInBytes) >= int64_t(frame->xres) * 4;
    if (!valid) {
        ++counters.videoFramesRefused;
        return;
    }
    const StreamFormat format{frame->xres, frame->yres, frame->frameRateN, frame->frameRateD};
    const bool formatChanged = format_.width != 0 && !(format == format_);
    format_ = format;

    const size_t rowBytes = size_t(format.width) * 4;
    auto buffer = frameBuffer(rowBytes * size_t(format.height));
    // The one copy of the picture; its digest, taken in the same pass, is what the lent bytes
    // must still give at the next send or flush. The buffer reaches the writer thread through
    // the queues' mutex, which orders the stores before its reads.
    lentDigest_ = copyRowsWithDigest(buffer->data(), frame->data, rowBytes,
                                     size_t(frame->lineStrideInBytes), format.height);
    lentData_ = frame->data;
    lentStride_ = frame->lineStrideInBytes;
    lentRowBytes_ = int(rowBytes);
    lentHeight_ = format.height;
    ++counters.videoFramesAccepted;
    counters.lastWidth = format.width;
    counters.lastHeight = format.height;
    counters.lastRateN = format.rateN;
    counters.lastRateD = format.rateD;

    {
        std::lock_guard lock(mutex_);
        for (auto& client : clients_) {
            if (formatChanged && client->started) {
                client->ending = true;
                client->queue.clear();
                countQueuedAudio(*client, -client->queuedAudio);
            }
            if (client->ending) continue;
            int pictures = 0;
            for (const auto& packet : client->queue) pictures += packet.isVideo;
            if (pictures >= kMaxQueuedPictures) {
                for (auto it = client->queue.begin(); it != client->queue.end(); ++it) {
                    if (it->isVideo) {
                        client->queue.erase(it);
                        break;
                    }
                }
            }
            client->queue.push_back({buffer, true, format, client->videoPts++});
            client->started = true;
        }
        updateCountLocked();
    }
    wake();
}

void NetVideoSender::sendAudio(const VelmarNetVideoAudioFrame& frame) {
    if (frame.sampleRate != 48000 || frame.channels < 1 || frame.samples < 1 || !frame.data ||
        frame.fourCC != kNetVideoFourCCFLTp ||
        int64_t(frame.channelStrideInBytes) < int64_t(frame.samples) * 4)
        return;
    const size_t stride = size_t(frame.channelStrideInBytes) / sizeof(float);
    const float* left = frame.data;
    const float* right = frame.channels > 1 ? frame.data + stride : left;
    auto samples = std::make_shared<std::vector<uint8_t>>(size_t(frame.samples) * 8);
    auto* out = reinterpret_cast<float*>(samples->data());
    for (int i = 0; i < frame.samples; ++i) {
        out[2 * i] = left[i];
        out[2 * i + 1] = right[i];
    }
    ++RuntimeCounters::shared().audioFramesAccepted;
    {
        std::lock_guard lock(mutex_);
        for (auto& client : clients_) {
            if (!client->started || client->ending) continue;
            client->queue.push_back({samples, false, {}, client->audioPts});
            client->audioPts += frame.samples;
            countQueuedAudio(*client, frame.samples);
            while (client->queuedAudio > kMaxQueuedAudio) {
                auto it = client->queue.begin();
                while (it != client->queue.end() && it->isVideo) ++it;
                if (it == client->queue.end()) break;
                countQueuedAudio(*client, -int64_t(it->data->size() / 8));
                client->queue.erase(it);
            }
        }
    }
    wake();
}

void NetVideoSender::countQueuedAudio(Client& client, int64_t frames) {
    client.queuedAudio += frames;
    RuntimeCounters::shared().queuedAudioFrames += frames;
}

void NetVideoSender::updateCountLocked() {
    int count = 0;
    for (const auto& client : clients_) count += !client->ending;
    connections_ = count;
}

void NetVideoSender::acceptClients(std::chrono::steady_clock::time_point now) {
    for (int visit = 0; visit < kAcceptsPerVisit; ++visit) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                acceptPausedUntil_ = now + kAcceptPause;
                report(Trouble::acceptFailed,
                       std::string("cannot take in a receiver: ") + std::strerror(errno));
            }
            return;
        }
        size_t held = 0;
        {
            std::lock_guard lock(mutex_);
            held = clients_.size();
        }
        // Every client held counts, one whose stream is ending too: each holds a descriptor and
        // up to a picture of bytes.
        if (held >= size_t(kNetVideoMaxReceivers)) {
            // Counted before the close, so that whoever sees the connection end sees it counted.
            ++RuntimeCounters::shared().receiversRefused;
            ::close(fd);
            report(Trouble::refused,
                   "a receiver was refused: " + std::to_string(kNetVideoMaxReceivers) +
                       " receivers are connected already");
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto client = std::make_shared<Client>();
        client->stream = std::make_unique<NutClient>(fd);
        std::lock_guard lock(mutex_);
        clients_.push_back(std::move(client));
        updateCountLocked();
    }
}

NetVideoSender::Drop NetVideoSender::serve(Client& client, short revents,
                                           std::chrono::steady_clock::time_point now) {
    // Hang-up: the connection is reset or shut both ways.
    if (revents & (POLLERR | POLLNVAL | POLLHUP)) return Drop::closed;
    if ((revents & POLLIN) && !client.stream->discardInput(kInputAllowance)) {
        if (client.stream->inputBytes() > kInputAllowance) return Drop::talked;
        // The end of what the peer sends (or a reset met while reading, which the next poll or
        // write shows again): it may still read. Its socket stays readable from now on, so it
        // is no longer polled for input.
        client.inputEnded = true;
    }
    return pump(client, now);
}

NetVideoSender::Drop NetVideoSender::pump(Client& client,
                                          std::chrono::steady_clock::time_point now) {
    NutClient& stream = *client.stream;
    // A few packets per visit, so that a fast client cannot keep the writer from the others.
    for (int budget = 4; budget > 0;) {
        if (stream.hasPendingBytes()) {
            if (!stream.writeSome(now)) return Drop::closed;
            if (stream.hasPendingBytes()) break;
        }
        QueuedPacket next;
        bool have = false;
        bool ending = false;
        {
            std::lock_guard lock(mutex_);
            ending = client.ending;
            if (!ending && !client.queue.empty()) {
                next = std::move(client.queue.front());
                client.queue.pop_front();
                if (!next.isVideo) countQueuedAudio(client, -int64_t(next.data->size() / 8));
                have = true;
            }
        }
        if (ending) {
            if (stream.ended()) return Drop::closed;  // trailer written out: close
            stream.end();
            continue;
        }
        if (!have) break;
        if (!stream.mux(next)) return Drop::closed;
        --budget;
    }
    return stream.stalledFor(kStallLimit, now) ? Drop::stalled : Drop::none;
}

void NetVideoSender::run() {
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<Client>> clients;
    while (!stopping_) {
        bool backlog = false;  // packets wait to be muxed: look again at once
        {
            std::lock_guard lock(mutex_);
            clients = clients_;
            for (const auto& client : clients_)
                backlog = backlog || (!client->stream->hasPendingBytes() &&
                                      (!client->queue.empty() || client->ending));
        }
        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        // A negative descriptor is skipped by poll: the listening socket rests after a failure.
        const bool accepting = std::chrono::steady_clock::now() >= acceptPausedUntil_;
        fds.push_back({accepting ? listenFd_ : -1, POLLIN, 0});
        for (const auto& client : clients) {
            const short events = short((client->inputEnded ? 0 : POLLIN) |
                                       (client->stream->hasPendingBytes() ? POLLOUT : 0));
            fds.push_back({client->stream->fd(), events, 0});
        }
        const int ready = ::poll(fds.data(), fds.size(), backlog ? 0 : 50);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "velmar: network video: the stream writer stopped: %s\n",
                         std::strerror(errno));
            break;
        }
        if (ready == 0 && !backlog) ++RuntimeCounters::shared().writerRests;
        if (fds[0].revents & POLLIN) {
            char drain[256];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (fds[1].revents & POLLIN) acceptClients(now);
        for (size_t i = 0; i < clients.size(); ++i) {
            const Drop drop = serve(*clients[i], fds[i + 2].revents, now);
            if (drop == Drop::stalled || drop == Drop::talked) {
                ++RuntimeCounters::shared().receiversDropped;
                report(drop == Drop::stalled ? Trouble::stalled : Trouble::talked,
                       drop == Drop::stalled
                           ? "a receiver was dropped: it took nothing for two seconds"
                           : "a receiver was dropped: it sent data, where receivers only read");
            }
            if (drop != Drop::none) {
                std::lock_guard lock(mutex_);
                countQueuedAudio(*clients[i], -clients[i]->queuedAudio);
                std::erase(clients_, clients[i]);
                updateCountLocked();
            }
        }
        clients.clear();  // a dropped client closes here, on this thread
    }
}

}  // namespace velmar::netvideo
