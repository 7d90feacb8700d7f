#include "platform/netvideo/nut_client.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace velmar::netvideo {

namespace {
constexpr int kIOBufferSize = 256 * 1024;
constexpr int kAudioRate = 48000;
}  // namespace

NutClient::NutClient(int fd) : fd_(fd), lastProgress_(std::chrono::steady_clock::now()) {}

NutClient::~NutClient() {
    if (mux_) avformat_free_context(mux_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0) ::close(fd_);
}

int NutClient::writeCallback(void* opaque, uint8_t* data, int size) {
    static_cast<NutClient*>(opaque)->append(data, size_t(size));
    return size;
}

void NutClient::append(const uint8_t* data, size_t size) {
    if (size == 0) return;
    if (pendingBytes_ == 0) lastProgress_ = std::chrono::steady_clock::now();
    bytes_.emplace_back(data, data + size);
    pendingBytes_ += size;
}

bool NutClient::open(const StreamFormat& format) {
    if (avformat_alloc_output_context2(&mux_, nullptr, "nut", nullptr) < 0 || !mux_) return false;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIOBufferSize));
    if (!buffer) return false;
    io_ = avio_alloc_context(buffer, kIOBufferSize, 1, this, nullptr, &NutClient::writeCallback,
                             nullptr);
    if (!io_) {
        av_free(buffer);
        return false;
    }
    mux_->pb = io_;
    mux_->flags |= AVFMT_FLAG_BITEXACT;

    AVStream* video = avformat_new_stream(mux_, nullptr);
    AVStream* audio = avformat_new_stream(mux_, nullptr);
    if (!video || !audio) return false;
    videoIndex_ = video->index;
    audioIndex_ = audio->index;
    // 60000/2002 is announced as 30000/1001.
    av_reduce(&rateN_, &rateD_, format.rateN, format.rateD, INT_MAX);
    video->time_base = AVRational{rateD_, rateN_};
    video->avg_frame_rate = AVRational{rateN_, rateD_};
    video->r_frame_rate = video->avg_frame_rate;
    AVCodecParameters* v = video->codecpar;
    v->codec_type = AVMEDIA_TYPE_VIDEO;
    v->codec_id = AV_CODEC_ID_RAWVIDEO;
    v->codec_tag = avcodec_pix_fmt_to_codec_tag(AV_PIX_FMT_BGRA);
    v->format = AV_PIX_FMT_BGRA;
    v->width = format.width;
    v->height = format.height;
    v->sample_aspect_ratio = AVRational{1, 1};

    audio->time_base = AVRational{1, kAudioRate};
    AVCodecParameters* a = audio->codecpar;
    a->codec_type = AVMEDIA_TYPE_AUDIO;
    a->codec_id = AV_CODEC_ID_PCM_F32LE;
    a->format = AV_SAMPLE_FMT_FLT;
    a->sample_rate = kAudioRate;
    av_channel_layout_default(&a->ch_layout, 2);
    a->bits_per_coded_sample = 32;
    a->block_align = 8;
    if (avformat_write_header(mux_, nullptr) < 0) return false;
    avio_flush(io_);
    return true;
}

bool NutClient::mux(const QueuedPacket& packet) {
    if (ended_) return true;
    if (!mux_) {
        if (!packet.isVideo) return true;
        if (!open(packet.format)) return false;
    }
    AVPacket* pkt = av_packet_alloc();
    if (!pkt) return false;
    // Not reference-counted: the muxer writes the bytes straight from the shared packet.
    pkt->data = const_cast<uint8_t*>(packet.data->data());
    pkt->size = int(packet.data->size());
    pkt->flags = AV_PKT_FLAG_KEY;
    AVStream* stream = mux_->streams[packet.isVideo ? videoIndex_ : audioIndex_];
    pkt->stream_index = stream->index;
    const AVRational from = packet.isVideo ? AVRational{rateD_, rateN_} : AVRational{1, kAudioRate};
    pkt->pts = pkt->dts = av_rescale_q(packet.pts, from, stream->time_base);
    pkt->duration =
        av_rescale_q(packet.isVideo ? 1 : packet.data->size() / 8, from, stream->time_base);
    const int result = av_write_frame(mux_, pkt);
    av_packet_free(&pkt);
    avio_flush(io_);
    return result >= 0;
}

void NutClient::end() {
    if (ended_) return;
    ended_ = true;
    if (mux_) {
        av_write_trailer(mux_);
        avio_flush(io_);
    }
}

bool NutClient::writeSome(std::chrono::steady_clock::time_point now) {
    while (!bytes_.empty()) {
        const std::vector<uint8_t>& front = bytes_.front();
        const ssize_t n = ::send(fd_, front.data() + frontOffset_, front.size() - frontOffset_,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        if (n == 0) return true;
        // A peer that stopped reading may still take a few bytes now and then as the kernel
        // reclaims buffer space; only taking the whole packet counts as progress.
        pendingBytes_ -= size_t(n);
        if (pendingBytes_ == 0) lastProgress_ = now;
        frontOffset_ += size_t(n);
        if (frontOffset_ == front.size()) {
            bytes_.pop_front();
            frontOffset_ = 0;
        }
    }
    return true;
}

bool NutClient::discardInput(size_t allowance) {
    // Never more than the allowance and one scratch buffer per call, so that a peer that keeps
    // sending cannot hold the writer here.
    char scratch[4096];
    while (inputBytes_ <= allowance) {
        const ssize_t n = ::recv(fd_, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0) {
            inputBytes_ += size_t(n);
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return false;
}

bool NutClient::stalledFor(std::chrono::steady_clock::duration limit,
                           std::chrono::steady_clock::time_point now) const {
    return pendingBytes_ > 0 && now - lastProgress_ > limit;
}

}  // namespace velmar::netvideo
