#include "platform/player/movie_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>

namespace velmar {

namespace {

MovieSource::Clock::time_point after(double seconds) {
    const double s = std::clamp(seconds, 0.0, 1.0e9);
    return MovieSource::Clock::now() + std::chrono::duration_cast<MovieSource::Clock::duration>(
                                           std::chrono::duration<double>(s));
}

std::mutex& hookMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<const std::function<void()>>& readHook() {
    static std::shared_ptr<const std::function<void()>> hook;
    return hook;
}

int coefficientsFor(int space, int height) {
    switch (space) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_FCC:
            return SWS_CS_ITU601;
        case AVCOL_SPC_SMPTE240M:
            return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        default:
            return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

bool isFullRangeFormat(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ411P:
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ444P:
            return true;
        default:
            return false;
    }
}

}  // namespace

MovieSource::MovieSource(const std::atomic<bool>* stop, double overallSeconds)
    : stop_(stop), overall_(after(overallSeconds)), deadline_(overall_) {
    std::lock_guard lock(hookMutex());
    hook_ = readHook();
}

MovieSource::~MovieSource() {
    if (format_ != nullptr) avformat_close_input(&format_);
    if (io_ != nullptr) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
    if (fd_ >= 0) ::close(fd_);
}

void MovieSource::arm(double seconds) {
    deadline_ = std::min(after(seconds), overall_);
    interrupted_ = false;
}

bool MovieSource::interrupted() {
    if (!interrupted_ && ((stop_ != nullptr && stop_->load()) || Clock::now() >= deadline_)) {
        interrupted_ = true;
    }
    return interrupted_;
}

double MovieSource::remainingSeconds() const {
    return std::max(0.0, std::chrono::duration<double>(deadline_ - Clock::now()).count());
}

MovieSource::Status MovieSource::open(const std::string& path, double seconds) {
    arm(seconds);
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return Status::notRegularFile;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return Status::notRegularFile;
    size_ = st.st_size;

    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer == nullptr) return Status::unreadable;
    io_ = avio_alloc_context(buffer, kBufferSize, 0, this, &MovieSource::read, nullptr,
                             &MovieSource::seek);
    if (io_ == nullptr) {
        av_free(buffer);
        return Status::unreadable;
    }
    format_ = avformat_alloc_context();
    if (format_ == nullptr) return Status::unreadable;
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->interrupt_callback.callback = &MovieSource::interruptCallback;
    format_->interrupt_callback.opaque = this;
    if (avformat_open_input(&format_, path.c_str(), nullptr, nullptr) < 0) {
        format_ = nullptr;  // freed by FFmpeg
        return interrupted() ? Status::timedOut : Status::unreadable;
    }
    // A stream whose codec is unknown leaves its parameters unfound; that is not fatal here
    // (callers name the codec), running out of time is.
    avformat_find_stream_info(format_, nullptr);
    if (interrupted()) return Status::timedOut;
    return Status::ok;
}

bool MovieSource::isMovie() const {
    if (format_ == nullptr || format_->iformat == nullptr) return false;
    // Demuxer names are comma-separated lists; the picture demuxers are "image2",
    // "image2pipe" and the "<codec>_pipe" family.
    std::string_view names = format_->iformat->name;
    while (!names.empty()) {
        const auto comma = names.find(',');
        const std::string_view name = names.substr(0, comma);
        constexpr std::string_view kPipe = "_pipe";
        if (name == "image2" || name == "image2pipe" ||
            (name.size() > kPipe.size() && name.substr(name.size() - kPipe.size()) == kPipe)) {
            return false;
        }
        names = comma == std::string_view::npos ? std::string_view{} : names.substr(comma + 1);
    }
    return true;
}

bool MovieSource::hasAudioOrVideo() const {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const auto type = format_->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) return true;
    }
    return false;
}

int MovieSource::videoStream() const {
    if (!isMovie()) return -1;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* s = format_->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            (s->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

AVCodecContext* MovieSource::openDecoder(const AVStream* stream, int threads) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (ctx == nullptr) return nullptr;
    if (avcodec_parameters_to_context(ctx, stream->codecpar) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    ctx->pkt_timebase = stream->time_base;
    ctx->thread_count = threads > 0 ? threads : std::min(usableCores(), 16);
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    }
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

SwsContext* MovieSource::makeConverter(const AVFrame* source, int width, int height,
                                       AVPixelFormat format, int threads) {
    const auto sourceFormat = static_cast<AVPixelFormat>(source->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(sourceFormat);
    if (desc == nullptr || width <= 0 || height <= 0) return nullptr;
    SwsContext* sws = sws_alloc_context();
    if (sws == nullptr) return nullptr;
    av_opt_set_int(sws, "srcw", source->width, 0);
    av_opt_set_int(sws, "srch", source->height, 0);
    av_opt_set_int(sws, "src_format", sourceFormat, 0);
    av_opt_set_int(sws, "dstw", width, 0);
    av_opt_set_int(sws, "dsth", height, 0);
    av_opt_set_int(sws, "dst_format", format, 0);
    av_opt_set_int(sws, "sws_flags", SWS_BILINEAR, 0);
    av_opt_set_int(sws, "threads", std::max(1, threads), 0);
    if (sws_init_context(sws, nullptr, nullptr) < 0) {
        sws_freeContext(sws);
        return nullptr;
    }
    if ((desc->flags & AV_PIX_FMT_FLAG_RGB) == 0) {
        const int* coefficients =
            sws_getCoefficients(coefficientsFor(source->colorspace, source->height));
        const bool full =
            source->color_range == AVCOL_RANGE_JPEG || isFullRangeFormat(sourceFormat);
        sws_setColorspaceDetails(sws, coefficients, full ? 1 : 0, coefficients, 1, 0, 1 << 16,
                                 1 << 16);
    }
    return sws;
}

int MovieSource::usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::max(1, CPU_COUNT(&set));
}

void MovieSource::setReadHookForTesting(std::function<void()> hook) {
    std::lock_guard lock(hookMutex());
    readHook() = hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr;
}

int MovieSource::interruptCallback(void* opaque) {
    return static_cast<MovieSource*>(opaque)->interrupted() ? 1 : 0;
}

int MovieSource::read(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<MovieSource*>(opaque);
    if (self->hook_ && *self->hook_) (*self->hook_)();
    if (self->interrupted()) return AVERROR_EXIT;
    ssize_t n = 0;
    do {
        n = ::read(self->fd_, buffer, static_cast<size_t>(size));
    } while (n < 0 && errno == EINTR);
    if (n == 0) return AVERROR_EOF;
    if (n < 0) return AVERROR(errno);
    return static_cast<int>(n);
}

std::int64_t MovieSource::seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<MovieSource*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) return self->size_;
    const off_t at = ::lseek(self->fd_, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

}  // namespace velmar
