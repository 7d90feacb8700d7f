#include "platform/netvideo/netvideo_sender.h"

#include "platform/netvideo/frame_digest.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velmar::netvideo {

namespace {

constexpr int kMaxQueuedPictures = 2;
constexpr int64_t kMaxQueuedAudio = 96000;  // two seconds
constexpr auto kStallLimit = std::chrono::seconds(2);
constexpr int kMaxSide = 16384;
constexpr size_t kPoolLimit = 16;

std::string addressFolder() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    return dir && *dir ? std::string(dir) : std::string("/tmp");
}

// The sender's name as one file name: separators and leading dots become underscores.
std::string fileNameFor(const std::string& name) {
    std::string out = name.empty() ? std::string("sender") : name;
    for (char& c : out)
        if (c == '/' || c == '\0') c = '_';
    if (out[0] == '.') out[0] = '_';
    return out + ".netvideo";
}

bool writeAddressFile(const std::string& path, int port) {
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file) return false;
    const bool written = std::fprintf(file, "127.0.0.1:%d\n", port) > 0;
    if (std::fclose(file) != 0 || !written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

int requestedPort() {
    const char* text = std::getenv("VELMAR_NETVIDEO_PORT");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long port = std::strtol(text, &end, 10);
    return *end == '\0' && port > 0 && port < 65536 ? int(port) : 0;
}

}  // namespace

RuntimeCounters& RuntimeCounters::shared() {
    static RuntimeCounters counters;
    return counters;
}

std::unique_ptr<NetVideoSender> NetVideoSender::create(const std::string& name) {
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
    const std::string file = addressFolder() + "/" + fileNameFor(name);
    if (!writeAddressFile(file, port)) {
        ::close(fd);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return nullptr;
    }
    return std::unique_ptr<NetVideoSender>(
        new NetVideoSender(fd, port, pipeFds[0], pipeFds[1], file));
}

NetVideoSender::NetVideoSender(int listenFd, int port, int wakeRead, int wakeWrite,
                               std::string addressFile)
    : listenFd_(listenFd),
      port_(port),
      wakeRead_(wakeRead),
      wakeWrite_(wakeWrite),
      addressFile_(std::move(addressFile)) {
    writer_ = std::thread([this] { run(); });
}

NetVideoSender::~NetVideoSender() {
    stopping_ = true;
    wake();
    writer_.join();
    clients_.clear();
    ::close(listenFd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
    std::remove(addressFile_.c_str());
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
            client->queuedAudio += frame.samples;
            while (client->queuedAudio > kMaxQueuedAudio) {
                auto it = client->queue.begin();
                while (it != client->queue.end() && it->isVideo) ++it;
                if (it == client->queue.end()) break;
                client->queuedAudio -= int64_t(it->data->size() / 8);
                client->queue.erase(it);
            }
        }
    }
    wake();
}

void NetVideoSender::updateCountLocked() {
    int count = 0;
    for (const auto& client : clients_) count += !client->ending;
    connections_ = count;
}

void NetVideoSender::acceptClients() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;
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

bool NetVideoSender::pump(Client& client, std::chrono::steady_clock::time_point now) {
    NutClient& stream = *client.stream;
    // A few packets per visit, so that a fast client cannot keep the writer from the others.
    for (int budget = 4; budget > 0;) {
        if (stream.hasPendingBytes()) {
            if (!stream.writeSome(now)) return false;
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
                if (!next.isVideo) client.queuedAudio -= int64_t(next.data->size() / 8);
                have = true;
            }
        }
        if (ending) {
            if (stream.ended()) return false;  // trailer written out: close
            stream.end();
            continue;
        }
        if (!have) break;
        if (!stream.mux(next)) return false;
        --budget;
    }
    return !stream.stalledFor(kStallLimit, now);
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
        fds.push_back({listenFd_, POLLIN, 0});
        for (const auto& client : clients) {
            const short events = POLLIN | (client->stream->hasPendingBytes() ? POLLOUT : 0);
            fds.push_back({client->stream->fd(), events, 0});
        }
        if (::poll(fds.data(), fds.size(), backlog ? 0 : 50) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            char drain[256];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (fds[1].revents & POLLIN) acceptClients();
        const auto now = std::chrono::steady_clock::now();
        for (size_t i = 0; i < clients.size(); ++i) {
            Client& client = *clients[i];
            const short revents = fds[i + 2].revents;
            bool keep = !(revents & (POLLERR | POLLNVAL));
            if (keep && (revents & (POLLIN | POLLHUP))) keep = client.stream->discardInput();
            if (keep) keep = pump(client, now);
            if (!keep) {
                std::lock_guard lock(mutex_);
                std::erase(clients_, clients[i]);
                updateCountLocked();
            }
        }
        clients.clear();  // a dropped client closes here, on this thread
    }
}

}  // namespace velmar::netvideo
