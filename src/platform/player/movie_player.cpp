#include "platform/player/movie_player.h"

#include "platform/audio/audio_output.h"
#include "platform/base/serial_queue.h"
#include "platform/player/movie_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace velmar {

namespace {

constexpr int kForwardQueueFrames = 6;  // decoded ahead of the clock in forward play
constexpr int kReverseRunFrames = 12;   // frames kept from one decoded run in reverse play
constexpr int kQueueCapacity = kReverseRunFrames;
constexpr int kPoolFrames = kQueueCapacity + 8;  // queue, frames held by renderers, spare
// Sound is decoded this far ahead of the clock whatever the picture queue holds, so a block of
// program sound is ready even when the decoding threads are starved for a while.
constexpr double kAudioAheadSeconds = 1.5;
constexpr int kAudioRingSeconds = 4;
// Video packets read past while the sound runs ahead wait undecoded, within these bounds (the
// seconds are past the sound's target) and the bytes of Options::readAheadBytes.
constexpr int kMaxHeldPackets = 512;
constexpr double kHeldSlackSeconds = 1.0;
constexpr double kEpsilon = 0.0005;
// Movies shorter than this loop through the owner's seek instead of on the worker.
constexpr double kMinSeamlessLoopSeconds = 0.2;
// A shortfall of sound at the end of a pass up to this long is filled with silence, so the
// next pass's sound stays aligned with its pictures.
constexpr double kMaxAudioPadSeconds = 0.25;

SerialQueue& reaper() {
    static SerialQueue* queue = new SerialQueue("velmar.player-reaper");
    return *queue;
}

}  // namespace

// The FFmpeg side of the worker: demuxer, decoders, converters and the frame pool. Used only on
// the worker thread.
class MoviePlayer::Decoder {
  public:
    explicit Decoder(MoviePlayer& player) : p_(player), source_(&player.stop_) {}
    ~Decoder() {
        dropParked();
        held_.release();
        for (auto& slot : targets_) av_frame_free(&slot.frame);
        av_frame_free(&frame_);
        av_frame_free(&candidate_);
        av_frame_free(&audioFrame_);
        av_packet_free(&packet_);
        sws_freeContext(sws_);
        swr_free(&swr_);
        avcodec_free_context(&video_);
        avcodec_free_context(&audio_);
    }

    bool eof = false;
    double lastFrameEnd = -1;

    bool open(std::string* message) {
        switch (source_.open(p_.path_, p_.options_.openTimeoutSeconds)) {
            case MovieSource::Status::ok:
                break;
            case MovieSource::Status::notRegularFile:
                return fail(message, "not a regular file");
            case MovieSource::Status::timedOut:
                return fail(message, "timed out opening the file");
            case MovieSource::Status::unreadable:
                return fail(message, "cannot open the file");
        }
        format_ = source_.format();
        videoIndex_ = source_.videoStream();
        if (videoIndex_ < 0) return fail(message, "the file has no picture");
        AVStream* vs = format_->streams[videoIndex_];
        video_ = MovieSource::openDecoder(vs, std::max(0, p_.options_.videoThreads));
        if (video_ == nullptr) return fail(message, "no decoder for the picture");
        if (video_->width <= 0 || video_->height <= 0)
            return fail(message, "the picture has no size");
        videoBase_ = av_q2d(vs->time_base);
        startOffset_ = vs->start_time != AV_NOPTS_VALUE ? vs->start_time * videoBase_ : 0.0;
        AVRational fr = vs->avg_frame_rate.num > 0 ? vs->avg_frame_rate : vs->r_frame_rate;
        frameDuration_ = (fr.num > 0 && fr.den > 0) ? av_q2d(av_inv_q(fr)) : 1.0 / 25.0;
        if (!(frameDuration_ > 0.0005 && frameDuration_ < 10)) frameDuration_ = 1.0 / 25.0;
        width_ = video_->width;
        height_ = video_->height;
        pool_ = std::make_unique<VideoFramePool>(width_, height_, kPoolFrames);
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(video_->pix_fmt);
        hasAlpha_ = desc != nullptr && (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;

        double duration = std::numeric_limits<double>::quiet_NaN();
        if (vs->duration != AV_NOPTS_VALUE && vs->duration > 0)
            duration = vs->duration * videoBase_;
        else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
            duration = static_cast<double>(format_->duration) / AV_TIME_BASE;
        duration_ = duration;

        audioIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
        if (audioIndex_ >= 0 && !openAudio()) audioIndex_ = -1;
        for (unsigned i = 0; i < format_->nb_streams; ++i)
            if (static_cast<int>(i) != videoIndex_ && static_cast<int>(i) != audioIndex_)
                format_->streams[i]->discard = AVDISCARD_ALL;

        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        candidate_ = av_frame_alloc();
        audioFrame_ = av_frame_alloc();
        if (!packet_ || !frame_ || !candidate_ || !audioFrame_)
            return fail(message, "out of memory");

        // The first picture, within the same time limit as the open.
        VideoFrameRef first;
        while (!first) {
            const int got = step(/*keepFrames=*/true, &first);
            if (got < 0) {
                if (p_.stop_) return fail(message, "stopped");
                return fail(message, interrupted() ? "timed out waiting for the first picture"
                                                   : "no picture could be decoded");
            }
            if (eof && !first) return fail(message, "no picture could be decoded");
        }
        return true;
    }

    double duration() const { return duration_; }
    double frameDuration() const { return frameDuration_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool hasAudio() const { return audioIndex_ >= 0; }
    bool hasAlpha() const { return hasAlpha_; }
    void setPeriod(double period) { period_ = period; }

    void setKeyframesOnly(bool on) {
        if (video_) video_->skip_frame = on ? AVDISCARD_NONKEY : AVDISCARD_DEFAULT;
    }

    // Decodes one packet; decoded pictures go to the queue (forward play) and sound to the
    // ring. Video packets held back by `readAhead` come first, in file order, then the file.
    // Returns 0 on progress or at the end, below 0 on a read that failed.
    int step(bool keepFrames, VideoFrameRef* firstOut = nullptr) {
        if (eof) return 0;
        if (!held_.empty()) {
            AVPacket* packet = held_.front();
            const bool endsPass = held_.frontEndsPass();
            held_.pop();
            if (endsPass) {
                // Every picture of the pass comes out; the next pass decodes afresh behind it.
                drainVideo(nullptr, keepFrames, firstOut);
                avcodec_flush_buffers(video_);
                draining_ = false;
                lastTime_ = -frameDuration_;
                videoOffset_ += period_;
                return 0;
            }
            heldBytes_ -= packet->size;
            drainVideo(packet, keepFrames, firstOut);
            av_packet_unref(packet);
            return 0;
        }
        const int read = demuxEnded_ ? kReadEnd
                                     : readPacket(firstOut ? source_.remainingSeconds()
                                                           : p_.options_.readTimeoutSeconds);
        if (read == kReadFailed) return -1;
        if (read == kReadEnd) {
            demuxEnded_ = true;
            drainVideo(nullptr, keepFrames, firstOut);
            eof = true;
            return 0;
        }
        if (read == kReadAgain) return 0;
        if (packet_->stream_index == videoIndex_) {
            drainVideo(packet_, keepFrames, firstOut);
        } else if (packet_->stream_index == audioIndex_) {
            decodeAudio(packet_);
        }
        av_packet_unref(packet_);
        return 0;
    }

    bool demuxEnded() const { return demuxEnded_; }
    // Whether packets read ahead for the sound hold the pictures up to `t` (unwrapped).
    bool holdsPacketsUpTo(double t) const { return !held_.empty() && heldNewest_ >= t; }

    // The file was read to its end and the item is to loop: reads it again from the start for
    // the next pass, `period` seconds later, while the pictures of this pass still wait as
    // packets (a mark among them tells `step` where the pass ends). The sound thus runs on into
    // the next pass by its own read-ahead. False when no mark fits (nothing changed).
    bool rewindDemuxerForLoop(double period) {
        if (eof || !demuxEnded_ || !held_.push(nullptr)) return false;
        seekDemuxer(0.0);
        if (audio_) avcodec_flush_buffers(audio_);
        if (swr_) swr_init(swr_);
        demuxEnded_ = false;
        nextAudioTime_ = 0;
        audioOffset_ += period;
        period_ = period;
        return true;
    }

    // Whether `readAhead` may read on: the file is not at its end and the video packets held
    // stay within their bounds (count, bytes, and seconds past `itemTime`).
    bool canReadAhead(double itemTime) const {
        if (eof || demuxEnded_ || held_.full() || heldBytes_ >= p_.options_.readAheadBytes)
            return false;
        return heldNewest_ < 0 || held_.empty() ||
               heldNewest_ < itemTime + kAudioAheadSeconds + kHeldSlackSeconds;
    }

    // Reads one packet for the sound's sake: sound is decoded into the ring, a video packet is
    // held back undecoded for `step`, so the sound runs ahead of the picture queue by its own
    // measure. Returns 0 on progress or at the end, below 0 on a read that failed.
    int readAhead() {
        const int read = readPacket(p_.options_.readTimeoutSeconds);
        if (read == kReadFailed) return -1;
        if (read == kReadEnd) {
            demuxEnded_ = true;  // `step` drains the decoder once the held packets are decoded
            return 0;
        }
        if (read == kReadAgain) return 0;
        if (packet_->stream_index == videoIndex_) {
            const int64_t ts = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
            if (ts != AV_NOPTS_VALUE) heldNewest_ = ts * videoBase_ - startOffset_ + audioOffset_;
            const int size = packet_->size;
            if (held_.push(packet_))
                heldBytes_ += size;
            else
                drainVideo(packet_, true, nullptr);
        } else if (packet_->stream_index == audioIndex_) {
            decodeAudio(packet_);
        }
        av_packet_unref(packet_);
        return 0;
    }

    // Moves to `target`. Precise: the frame showing the target (and the one after) is queued;
    // loose: the first picture from the keyframe at or before it. Returns the landed time, or
    // NaN when a newer request cut it short.
    double seek(double target, bool precise, const std::function<bool()>& superseded) {
        reposition(target);
        bool haveCandidate = false;
        double landed = target;
        while (true) {
            if (superseded()) return std::numeric_limits<double>::quiet_NaN();
            const bool atEnd = eof;
            AVFrame* f = nullptr;
            if (!atEnd) {
                if (readVideoFrame(&f) < 0) return std::numeric_limits<double>::quiet_NaN();
            }
            if (f == nullptr) {
                if (!eof) continue;
                break;  // the end: the last candidate stands
            }
            const double t = frameTime(f);
            if (!precise) {
                av_frame_unref(candidate_);
                av_frame_move_ref(candidate_, f);
                haveCandidate = true;
                landed = t;
                break;
            }
            if (t <= target + kEpsilon || !haveCandidate) {
                const bool after = t > target + kEpsilon;
                av_frame_unref(candidate_);
                av_frame_move_ref(candidate_, f);
                haveCandidate = true;
                if (after) break;
                continue;
            }
            // t is past the target: queue the candidate and this next frame.
            pushConverted(candidate_);
            pushConverted(f);
            av_frame_unref(f);
            av_frame_unref(candidate_);
            return landed;
        }
        if (haveCandidate) {
            pushConverted(candidate_);
            if (!precise) landed = frameTime(candidate_);
        }
        av_frame_unref(candidate_);
        return landed;
    }

    // Reverse play: decodes the run of pictures that ends at `target` from the keyframe before
    // it and queues the last `kReverseRunFrames` of them (keyframes only when asked).
    void decodeRunEndingAt(double target, bool keyframesOnly,
                           const std::function<bool()>& superseded) {
        reposition(target);
        setKeyframesOnly(keyframesOnly);
        AVFrame* kept[kReverseRunFrames] = {};
        int keptCount = 0;
        while (!eof) {
            if (superseded()) break;
            AVFrame* f = nullptr;
            if (readVideoFrame(&f) < 0) break;
            if (f == nullptr) continue;
            const double t = frameTime(f);
            if (t > target + kEpsilon && keptCount > 0) {
                av_frame_unref(f);
                break;
            }
            AVFrame* slot = keptCount < kReverseRunFrames ? av_frame_alloc() : kept[0];
            if (keptCount == kReverseRunFrames) {
                av_frame_unref(slot);
                std::memmove(kept, kept + 1, sizeof(AVFrame*) * (kReverseRunFrames - 1));
                --keptCount;
            }
            if (slot == nullptr) break;
            av_frame_move_ref(slot, f);
            kept[keptCount++] = slot;
            if (t > target + kEpsilon) break;  // nothing earlier exists
        }
        p_.queue_.clear();
        for (int i = 0; i < keptCount; ++i) {
            pushConverted(kept[i]);
            av_frame_free(&kept[i]);
        }
        // The demuxer now stands past the run; forward play must reposition first.
        eof = false;
    }

  private:
    // Video packets held back undecoded, oldest first: a ring of packets made once, which take
    // over the demuxer's packet data without copying it.
    class PacketFifo {
      public:
        PacketFifo() {
            for (auto& slot : slots_) slot = av_packet_alloc();
        }
        ~PacketFifo() { release(); }
        bool empty() const { return count_ == 0; }
        bool full() const { return count_ == kMaxHeldPackets; }
        // Takes over `packet`'s data (false when full or out of memory). Without a packet: the
        // mark where one pass of a loop ends and the next begins.
        bool push(AVPacket* packet) {
            const int at = (head_ + count_) % kMaxHeldPackets;
            if (full() || slots_[at] == nullptr) return false;
            if (packet != nullptr) av_packet_move_ref(slots_[at], packet);
            passEnds_[at] = packet == nullptr;
            ++count_;
            return true;
        }
        AVPacket* front() const { return slots_[head_]; }
        bool frontEndsPass() const { return passEnds_[head_]; }
        // Drops the oldest from the ring; its packet stays readable until the next push.
        void pop() {
            head_ = (head_ + 1) % kMaxHeldPackets;
            --count_;
        }
        void clear() {
            for (; count_ > 0; pop()) av_packet_unref(front());
        }
        void release() {
            clear();
            for (auto& slot : slots_) av_packet_free(&slot);
        }

      private:
        std::array<AVPacket*, kMaxHeldPackets> slots_{};
        std::array<bool, kMaxHeldPackets> passEnds_{};
        int head_ = 0;
        int count_ = 0;
    };

    static constexpr int kReadFailed = -1;  // a read timed out or was interrupted
    static constexpr int kReadEnd = 0;      // the end, or an unreadable stretch taken as the end
    static constexpr int kReadPacket = 1;   // packet_ holds the next packet
    static constexpr int kReadAgain = 2;    // nothing yet; try again

    int readPacket(double timeoutSeconds) {
        source_.arm(timeoutSeconds);
        const int rc = av_read_frame(format_, packet_);
        if (rc >= 0) return kReadPacket;
        if (rc == AVERROR_EOF || (format_->pb != nullptr && avio_feof(format_->pb)))
            return kReadEnd;
        if (rc == AVERROR(EAGAIN)) return kReadAgain;
        return interrupted() ? kReadFailed : kReadEnd;
    }

    void dropHeld() {
        held_.clear();
        heldBytes_ = 0;
        heldNewest_ = -1;
        demuxEnded_ = false;
    }

    bool fail(std::string* message, const std::string& text) {
        *message = text;
        return false;
    }
    bool interrupted() { return source_.interrupted(); }

    bool openAudio() {
        AVStream* as = format_->streams[audioIndex_];
        audio_ = MovieSource::openDecoder(as, 1);
        if (audio_ == nullptr) return false;
        audioBase_ = av_q2d(as->time_base);
        AVChannelLayout in{};
        if (audio_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
            audio_->ch_layout.nb_channels <= 0)
            av_channel_layout_default(&in, std::max(1, audio_->ch_layout.nb_channels));
        else
            av_channel_layout_copy(&in, &audio_->ch_layout);
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        int rc = swr_alloc_set_opts2(&swr_, &stereo, AV_SAMPLE_FMT_FLT, AudioSampleRing::sampleRate,
                                     &in, audio_->sample_fmt, audio_->sample_rate, 0, nullptr);
        // A mono source feeds the same sample to both sides at full level. Left to itself the
        // resampler spreads a single channel over left and right at -3 dB each (or, for a
        // single channel labelled left, only to the left).
        if (rc >= 0 && in.nb_channels == 1) {
            const double unity[2] = {1.0, 1.0};  // [left][0], [right][0]
            rc = swr_set_matrix(swr_, unity, 1);
        }
        av_channel_layout_uninit(&in);
        if (rc < 0 || swr_init(swr_) < 0) {
            swr_free(&swr_);
            avcodec_free_context(&audio_);
            return false;
        }
        audioScratch_.resize(static_cast<std::size_t>(8192) * 2);
        silence_.assign(static_cast<std::size_t>(4096) * 2, 0.0f);
        return true;
    }

    double frameTime(const AVFrame* f) {
        const int64_t ts =
            f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
        double t =
            ts != AV_NOPTS_VALUE ? ts * videoBase_ - startOffset_ : lastTime_ + frameDuration_;
        // Without a presentation stamp (AVI) the best guess is the decoding stamp of the packet
        // that let the picture out, which trails the picture by the decoder's reorder delay.
        if (f->pts == AV_NOPTS_VALUE && ts != AV_NOPTS_VALUE && video_->has_b_frames > 0)
            t -= video_->has_b_frames * frameDuration_;
        if (!std::isfinite(t)) t = lastTime_ + frameDuration_;
        lastTime_ = t;
        return std::max(t, 0.0);
    }

    void seekDemuxer(double seconds) {
        source_.arm(p_.options_.readTimeoutSeconds);
        const int64_t ts =
            static_cast<int64_t>(std::llround((seconds + startOffset_) / videoBase_));
        if (avformat_seek_file(format_, videoIndex_, INT64_MIN, ts, ts, 0) < 0 &&
            av_seek_frame(format_, videoIndex_, ts, AVSEEK_FLAG_BACKWARD) < 0) {
            av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
        }
    }

    // Moves the demuxer to the keyframe at or before `seconds` of the item (falling back to the
    // file's start) and empties the decoders and the resampler; queued frames are not touched.
    void seekDemuxerAndFlush(double seconds) {
        seekDemuxer(seconds);
        dropParked();
        dropHeld();
        avcodec_flush_buffers(video_);
        if (audio_) avcodec_flush_buffers(audio_);
        if (swr_) swr_init(swr_);
        eof = false;
        draining_ = false;
    }

    // Seeks the demuxer to the keyframe at or before `target` and empties the decoders.
    void reposition(double target) {
        p_.queue_.clear();
        p_.audioRing_.clear();
        seekDemuxerAndFlush(std::max(target, 0.0));
        lastTime_ = target - frameDuration_;
        videoOffset_ = audioOffset_ = 0;
        audioEnd_ = -1;
    }

  public:
    // After the last packet of a pass: moves the demuxer back to the start without touching
    // what is queued, so the next pass decodes into the queue and the ring behind the end of
    // this one, `period` seconds later on the unwrapped timeline.
    void rewindForLoop(double period) {
        seekDemuxerAndFlush(0.0);
        lastTime_ = -frameDuration_;
        nextAudioTime_ = 0;
        videoOffset_ += period;
        audioOffset_ += period;
        period_ = period;
    }

  private:
    // Decodes until one picture comes out (*out, owned by frame_) or the input ends (*out null
    // and eof set). Sound met on the way is decoded too. Below 0: a read timed out.
    int readVideoFrame(AVFrame** out) {
        *out = nullptr;
        while (true) {
            const int rc = avcodec_receive_frame(video_, frame_);
            if (rc == 0) {
                if (frame_->decode_error_flags != 0 ||
                    (frame_->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
                    av_frame_unref(frame_);  // a damaged picture: keep the last good one
                    continue;
                }
                *out = frame_;
                return 0;
            }
            if (rc == AVERROR_EOF || draining_) {
                eof = true;
                return 0;
            }
            source_.arm(p_.options_.readTimeoutSeconds);
            const int read = av_read_frame(format_, packet_);
            if (read < 0) {
                if (read != AVERROR_EOF && interrupted()) return -1;
                avcodec_send_packet(video_, nullptr);
                draining_ = true;
                continue;
            }
            if (packet_->stream_index == videoIndex_)
                avcodec_send_packet(video_, packet_);
            else if (packet_->stream_index == audioIndex_)
                decodeAudio(packet_);
            av_packet_unref(packet_);
        }
    }

    // Sends one packet (null: the end) and queues every picture that comes out.
    void drainVideo(AVPacket* packet, bool keepFrames, VideoFrameRef* firstOut) {
        while (true) {
            // Invalid data is skipped and decoding goes on; a full decoder takes the packet
            // again once its pictures are out.
            const int sent = avcodec_send_packet(video_, packet);
            int received = 0;
            while (avcodec_receive_frame(video_, frame_) == 0) {
                ++received;
                if (frame_->decode_error_flags != 0 ||
                    (frame_->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
                    av_frame_unref(frame_);
                    continue;
                }
                if (keepFrames) {
                    VideoFrameRef made = deliver(frame_);
                    if (firstOut != nullptr && !*firstOut) *firstOut = made;
                }
                av_frame_unref(frame_);
            }
            if (sent != AVERROR(EAGAIN) || received == 0) return;
        }
    }

    void decodeAudio(AVPacket* packet) {
        if (!audio_ || avcodec_send_packet(audio_, packet) < 0) return;
        while (avcodec_receive_frame(audio_, audioFrame_) == 0) {
            const int64_t ts = audioFrame_->best_effort_timestamp != AV_NOPTS_VALUE
                                   ? audioFrame_->best_effort_timestamp
                                   : audioFrame_->pts;
            const double start =
                ts != AV_NOPTS_VALUE ? ts * audioBase_ - startOffset_ : nextAudioTime_;
            const int capacity = swr_get_out_samples(swr_, audioFrame_->nb_samples);
            if (capacity > 0 && static_cast<std::size_t>(capacity) * 2 > audioScratch_.size())
                audioScratch_.resize(static_cast<std::size_t>(capacity) * 2);
            uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(audioScratch_.data())};
            const int made = swr_convert(
                swr_, outPlanes, static_cast<int>(audioScratch_.size() / 2),
                const_cast<const uint8_t**>(audioFrame_->extended_data), audioFrame_->nb_samples);
            if (made > 0) {
                nextAudioTime_ = start + static_cast<double>(made) / AudioSampleRing::sampleRate;
                writeAudio(audioScratch_.data(), made, start);
            }
            av_frame_unref(audioFrame_);
        }
    }

    // Writes decoded sound at item time `start` onto the unwrapped timeline. While looping,
    // each pass's sound is cut to its pass (sound past the pictures' end is never played, and
    // would overlap the next pass) and a short shortfall before the next pass is filled with
    // silence, so the sound runs on across the loop point without a gap or a jump.
    void writeAudio(const float* samples, int frames, double start) {
        const double rate = AudioSampleRing::sampleRate;
        double at = start + audioOffset_;
        if (period_ > 0) {
            if (audioOffset_ > 0 && at < audioOffset_) {
                const int skip = static_cast<int>(std::llround((audioOffset_ - at) * rate));
                if (skip >= frames) return;
                samples += static_cast<std::ptrdiff_t>(skip) * 2;
                frames -= skip;
                at += skip / rate;
            }
            const double passEnd = audioOffset_ + period_;
            if (at >= passEnd) return;
            frames = std::min(frames, static_cast<int>(std::llround((passEnd - at) * rate)));
            if (frames <= 0) return;
            if (audioOffset_ > 0 && audioEnd_ >= 0) {
                const double gap = at - audioEnd_;
                if (gap > 0.5 / rate && gap <= kMaxAudioPadSeconds) {
                    int pad = static_cast<int>(std::llround(gap * rate));
                    double padAt = audioEnd_;
                    while (pad > 0) {
                        const int n = std::min(pad, static_cast<int>(silence_.size() / 2));
                        p_.audioRing_.write(silence_.data(), n, padAt);
                        padAt += n / rate;
                        pad -= n;
                    }
                    at = padAt;
                }
            }
        }
        p_.audioRing_.write(samples, frames, at);
        audioEnd_ = at + frames / rate;
    }

    // The destination frame that writes into a pooled picture, made once per pooled picture.
    struct Slot {
        const VideoFrame* owner = nullptr;
        AVFrame* frame = nullptr;
    };

    AVFrame* targetFor(VideoFrame& picture) {
        for (auto& slot : targets_)
            if (slot.owner == &picture) return slot.frame;
        AVFrame* f = av_frame_alloc();
        if (f == nullptr) return nullptr;
        f->format = AV_PIX_FMT_BGRA;
        f->width = picture.width();
        f->height = picture.height();
        f->data[0] = picture.mutableData();
        f->linesize[0] = picture.bytesPerRow();
        // The scaler wants a buffer reference; this one frees nothing, the pool owns the memory.
        f->buf[0] = av_buffer_create(
            picture.mutableData(),
            static_cast<std::size_t>(picture.bytesPerRow()) * picture.height(),
            [](void*, uint8_t*) {}, nullptr, 0);
        if (f->buf[0] == nullptr) {
            av_frame_free(&f);
            return nullptr;
        }
        targets_.push_back({&picture, f});
        return f;
    }

    bool prepareScaler(const AVFrame* src) {
        if (sws_ && src->format == swsFormat_ && src->width == swsWidth_ &&
            src->height == swsHeight_ && src->colorspace == swsSpace_ &&
            src->color_range == swsRange_)
            return true;
        sws_freeContext(sws_);
        sws_ = MovieSource::makeConverter(src, width_, height_, AV_PIX_FMT_BGRA,
                                          std::clamp(MovieSource::usableCores(), 1, 8));
        if (sws_ == nullptr) return false;
        swsFormat_ = src->format;
        swsWidth_ = src->width;
        swsHeight_ = src->height;
        swsSpace_ = src->colorspace;
        swsRange_ = src->color_range;
        return true;
    }

    // Queues a picture taken from the decoder in forward play. The end of the file gives back
    // every picture the decoding threads and the reordering held, more than the queue holds,
    // and a full queue would drop its oldest frame, the one for the present; so what does not
    // fit waits here, in order, until `unpark` finds room.
    VideoFrameRef deliver(AVFrame* src) {
        const double t = frameTime(src);
        noteFrameEnd(t);
        const double at = t + videoOffset_;
        // A picture that the running clock passed more than a frame ago would never be shown:
        // it is not converted, so a decoder that fell behind catches up from its held packets.
        const float rate = p_.clock_.rate();
        if (rate > 0 && rate <= 2.0f && at + 2 * frameDuration_ < p_.clock_.itemTime())
            return nullptr;
        if (parked_.empty() && !p_.queue_.full()) return convertAndQueue(src, at);
        AVFrame* held = av_frame_alloc();
        if (held == nullptr) return nullptr;
        av_frame_move_ref(held, src);
        parked_.push_back({held, at});
        return nullptr;
    }

    void dropParked() {
        for (auto& parked : parked_) av_frame_free(&parked.frame);
        parked_.clear();
    }

    void noteFrameEnd(double t) {
        const double end = t + frameDuration_;
        if (end > lastFrameEnd) lastFrameEnd = end;
    }

  public:
    // Pictures decoded but not yet queued; while any wait, the pass neither loops nor ends.
    bool hasParked() const { return !parked_.empty(); }

    // Moves waiting pictures into the queue while it has room. True when any moved.
    bool unpark() {
        std::size_t moved = 0;
        while (moved < parked_.size() && !p_.queue_.full()) {
            convertAndQueue(parked_[moved].frame, parked_[moved].time);
            av_frame_free(&parked_[moved].frame);
            ++moved;
        }
        parked_.erase(parked_.begin(), parked_.begin() + static_cast<std::ptrdiff_t>(moved));
        return moved > 0;
    }

    // Converts one decoded picture into a pooled BGRA frame and queues it.
    VideoFrameRef pushConverted(AVFrame* src) {
        const double t = frameTime(src);
        noteFrameEnd(t);
        return convertAndQueue(src, t + videoOffset_);
    }

    // `t`: the picture's time on the unwrapped timeline.
    VideoFrameRef convertAndQueue(AVFrame* src, double t) {
        std::shared_ptr<VideoFrame> picture = pool_->acquire();
        p_.pooledFrames_ = pool_->allocatedCount();
        if (!picture || !prepareScaler(src)) return nullptr;
        AVFrame* dst = targetFor(*picture);
        if (dst == nullptr) return nullptr;
        if (sws_scale_frame(sws_, dst, src) < 0) return nullptr;
        picture->setTime(t);
        VideoFrameRef ref = picture;
        p_.queue_.push(ref);
        return ref;
    }

  private:
    struct Parked {
        AVFrame* frame = nullptr;
        double time = 0;  // on the unwrapped timeline
    };

    MoviePlayer& p_;
    MovieSource source_;
    std::vector<Parked> parked_;
    PacketFifo held_;
    int64_t heldBytes_ = 0;
    double heldNewest_ = -1;   // unwrapped time of the newest held packet (below 0: unknown)
    bool demuxEnded_ = false;  // the file was read to its end; held packets may still wait
    AVFormatContext* format_ = nullptr;
    AVCodecContext* video_ = nullptr;
    AVCodecContext* audio_ = nullptr;
    SwsContext* sws_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* candidate_ = nullptr;
    AVFrame* audioFrame_ = nullptr;
    std::unique_ptr<VideoFramePool> pool_;
    std::vector<Slot> targets_;
    std::vector<float> audioScratch_;
    std::vector<float> silence_;
    // Starts of the present pass on the unwrapped timeline: of the pictures being decoded, and
    // of the sound and packets being read (a pass ahead once the file was read to its end and
    // read again from the start for the next pass, while the pictures still decode the last).
    double videoOffset_ = 0;
    double audioOffset_ = 0;
    double period_ = 0;     // the length of one pass once looping began, else 0
    double audioEnd_ = -1;  // unwrapped end of the sound last written (below 0: none)
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    double videoBase_ = 1;
    double audioBase_ = 1;
    double startOffset_ = 0;
    double frameDuration_ = 1.0 / 25.0;
    double duration_ = 0;
    double lastTime_ = 0;
    double nextAudioTime_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool hasAlpha_ = false;
    bool draining_ = false;
    int swsFormat_ = -1;
    int swsWidth_ = 0;
    int swsHeight_ = 0;
    AVColorSpace swsSpace_ = AVCOL_SPC_UNSPECIFIED;
    AVColorRange swsRange_ = AVCOL_RANGE_UNSPECIFIED;
};

// ---------------------------------------------------------------------------------------------

MoviePlayer::MoviePlayer(std::string path, HostClock& clock, Callbacks callbacks, Options options)
    : path_(std::move(path)),
      callbacks_(std::move(callbacks)),
      options_(options),
      clock_(clock),
      queue_(kQueueCapacity),
      output_(clock_, queue_, [this] { wake(); }),
      audioRing_(AudioSampleRing::sampleRate * kAudioRingSeconds),
      muted_(options.muted),
      tapScratch_(static_cast<std::size_t>(8192) * 2, 0.0f) {
    worker_ = std::thread([this] { run(); });
}

MoviePlayer::~MoviePlayer() {
    if (addedToOutput_) AudioOutput::shared().removeSource(this);
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void MoviePlayer::release(std::shared_ptr<MoviePlayer> player) {
    if (!player) return;
    reaper().async([held = std::move(player)]() mutable { held.reset(); });
}

void MoviePlayer::waitForReleases() {
    reaper().waitUntilIdle();
}

std::string MoviePlayer::errorMessage() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void MoviePlayer::wake() {
    woken_ = true;
    wake_.notify_all();
}

void MoviePlayer::setStatus(Status status, const std::string& message) {
    {
        std::lock_guard lock(mutex_);
        error_ = message;
    }
    status_ = status;
    if (callbacks_.statusChanged) callbacks_.statusChanged(status);
}

void MoviePlayer::setRate(float rate) {
    if (!std::isfinite(rate)) rate = 0.0f;
    rate = std::clamp(rate, -8.0f, 8.0f);
    const bool wasSounding = clock_.rate() == 1.0f;
    clock_.setRate(rate);
    {
        std::lock_guard lock(mutex_);
        endReported_ = false;
    }
    wake();
    // Every caller that stops the sound comes through here.
    if (wasSounding && rate != 1.0f) soundInterrupted();
}

void MoviePlayer::soundInterrupted() {
    // Under the tap's lock: a block the audio thread may still be processing from before the
    // break has returned, and none runs until the tap has taken back what it handed on (the
    // audio thread only tries the lock; at worst one block plays silent locally).
    std::lock_guard lock(tapMutex_);
    if (tap_) tap_->soundInterrupted();
}

void MoviePlayer::seek(double seconds, bool precise, std::function<void(bool)> completion) {
    std::function<void(bool)> superseded;
    {
        std::lock_guard lock(mutex_);
        if (seekPending_) superseded = std::move(seek_.completion);
        seek_ = {std::isfinite(seconds) ? seconds : 0.0, precise, std::move(completion),
                 ++seekGeneration_};
        seekPending_ = true;
        endReported_ = false;
    }
    if (superseded) superseded(false);
    wake();
}

void MoviePlayer::preroll(std::function<void(bool)> completion) {
    if (!completion) return;
    {
        std::lock_guard lock(mutex_);
        prerolls_.push_back(std::move(completion));
    }
    wake();
}

void MoviePlayer::cancelPendingPrerolls() {
    std::vector<std::function<void(bool)>> cancelled;
    {
        std::lock_guard lock(mutex_);
        cancelled.swap(prerolls_);
    }
    for (auto& fn : cancelled) fn(false);
}

double MoviePlayer::currentTime() const {
    return clock_.displayTime(clock_.itemTime());
}

void MoviePlayer::setLoopsRemaining(int loops) {
    loopsRemaining_ = loops < 0 ? -1 : loops;
    wake();
}

void MoviePlayer::stepByCount(int count) {
    if (count == 0 || status_ != Status::ReadyToPlay) return;
    pause();
    const double fd = frameDuration_.load();
    VideoFrameRef shown = output_.peekFrameForItemTime(clock_.itemTime());
    const double base = shown ? clock_.displayTime(shown->time()) : currentTime();
    seek(std::max(0.0, base + count * fd), true);
}

void MoviePlayer::setAudioTap(std::shared_ptr<AudioTap> tap) {
    if (tap) tap->prepare(AudioSampleRing::sampleRate);
    std::shared_ptr<AudioTap> former;
    {
        std::lock_guard lock(tapMutex_);
        former = std::move(tap_);
        tap_ = std::move(tap);
    }
    // `former` goes here, off the audio thread.
}

void MoviePlayer::loadAudioTrack(std::function<void(bool)> done) {
    if (!done) return;
    bool known = false;
    {
        std::lock_guard lock(mutex_);
        known = audioKnown_;
        if (!known) audioWaiters_.push_back(std::move(done));
    }
    if (known) done(hasAudio_.load());
}

namespace {
// Fetches the movie's decoded sound for the present item time.
class RingSource final : public AudioTapSource {
  public:
    RingSource(AudioSampleRing& ring, double itemTime) : ring_(ring), itemTime_(itemTime) {}
    bool fetch(AudioBufferList& buffers, int frames, int* delivered) override {
        *delivered = 0;
        if (buffers.count < 1 || buffers.buffers[0].data == nullptr ||
            buffers.buffers[0].byteSize < static_cast<std::size_t>(frames) * 8)
            return false;
        if (!ring_.tryRead(buffers.buffers[0].data, frames, itemTime_)) return false;
        buffers.buffers[0].channels = 2;
        *delivered = frames;
        return true;
    }
    bool presentTime(double* itemTime) const override {
        *itemTime = itemTime_;
        return true;
    }
    int copyAhead(float* interleaved, int frames, double* from) override {
        return ring_.tryCopy(interleaved, frames, from);
    }

  private:
    AudioSampleRing& ring_;
    double itemTime_;
};
}  // namespace

void MoviePlayer::render(float* out, int frames) {
    const std::size_t samples = static_cast<std::size_t>(frames) * 2;
    std::memset(out, 0, samples * sizeof(float));
    // Sound plays at rate 1 only; at any other rate nothing is fetched, tapped or forwarded.
    double itemTime = 0;
    if (clock_.rate() != 1.0f || status_ != Status::ReadyToPlay || samples > tapScratch_.size() ||
        !clock_.tryItemTimeAt(clock_.hostNow(), &itemTime))
        return;
    RingSource source(audioRing_, itemTime);
    AudioBufferList list;
    list.count = 1;
    list.buffers[0] = {2, samples * sizeof(float), tapScratch_.data()};
    std::unique_lock lock(tapMutex_, std::try_to_lock);
    if (!lock.owns_lock()) return;      // the tap is being changed: one silent block
    if (clock_.rate() != 1.0f) return;  // left rate 1 since the look above: the tap was told
    if (tap_) {
        tap_->process(source, list, frames);
    } else {
        int delivered = 0;
        if (!source.fetch(list, frames, &delivered)) return;
    }
    lock.unlock();
    if (muted_) return;
    std::memcpy(out, tapScratch_.data(), samples * sizeof(float));
}

void MoviePlayer::run() {
    Decoder decoder(*this);
    std::string message;
    const bool opened = decoder.open(&message);
    if (opened) {
        duration_ = decoder.duration();
        frameDuration_ = decoder.frameDuration();
        width_ = decoder.width();
        height_ = decoder.height();
        hasAudio_ = decoder.hasAudio();
        hasAlpha_ = decoder.hasAlpha();
        const double d = decoder.duration();
        clock_.setEnd(std::isfinite(d) && d > 0 ? d : -1);
        if (std::isfinite(d) && d > 0) decoder.setPeriod(d);
    }
    std::vector<std::function<void(bool)>> waiters;
    {
        std::lock_guard lock(mutex_);
        audioKnown_ = true;
        waiters.swap(audioWaiters_);
    }
    for (auto& fn : waiters) fn(opened && hasAudio_.load());
    if (!opened) {
        setStatus(Status::Failed, message);
        // Nothing will ever play: answer every request at once until the player goes.
        std::unique_lock lock(mutex_);
        while (!stop_) {
            std::vector<std::function<void(bool)>> answers;
            answers.swap(prerolls_);
            if (seekPending_) {
                answers.push_back(std::move(seek_.completion));
                seekPending_ = false;
            }
            lock.unlock();
            for (auto& fn : answers)
                if (fn) fn(false);
            lock.lock();
            wake_.wait_for(lock, std::chrono::milliseconds(50));
        }
        return;
    }
    if (hasAudio_) addedToOutput_ = AudioOutput::shared().addSource(this);
    setStatus(Status::ReadyToPlay);

    enum class Mode { Forward, Keyframes, Reverse };
    Mode mode = Mode::Forward;
    const double fd = decoder.frameDuration();
    int passesReported = 0;  // loop points the clock has passed and the owner was told of

    while (!stop_) {
        // A seek request comes first.
        SeekRequest request;
        bool haveSeek = false;
        {
            std::lock_guard lock(mutex_);
            if (seekPending_) {
                request = std::move(seek_);
                seekPending_ = false;
                haveSeek = true;
            }
        }
        if (haveSeek) {
            const long generation = request.generation;
            auto superseded = [this, generation] {
                std::lock_guard lock(mutex_);
                return stop_.load() || (seekPending_ && seekGeneration_ != generation);
            };
            double target = std::max(0.0, request.target);
            const double end = clock_.end();
            bool precise = request.precise;
            if (end >= 0 && target >= end) {
                target = end;
                precise = true;  // past the end lands on the last frame, not a keyframe
            }
            decoder.setKeyframesOnly(false);
            const double landed = decoder.seek(target, precise, superseded);
            const bool finished = std::isfinite(landed);
            if (finished) {
                clock_.setTime(landed);
                // Running on from elsewhere: the sound handed on ahead belongs to where it was.
                if (clock_.rate() == 1.0f) soundInterrupted();
            } else {
                clock_.collapse();  // the decoder no longer holds a second pass
            }
            passesReported = 0;
            mode = Mode::Forward;
            if (request.completion) request.completion(finished);
            continue;
        }

        const float rate = clock_.rate();
        double now = clock_.itemTime();
        const Mode wanted =
            rate < 0 ? Mode::Reverse : (rate > 2.0f ? Mode::Keyframes : Mode::Forward);
        if (wanted != mode) {
            if (mode == Mode::Reverse || wanted == Mode::Forward) {
                // The decoder stands where a reverse run or a keyframe skip left it: bring it
                // back to the present (every frame from now on, or the keyframe before).
                now = clock_.collapse();
                passesReported = 0;
                decoder.setKeyframesOnly(false);
                decoder.seek(now, wanted == Mode::Forward, [] { return false; });
            }
            mode = wanted;
        }
        if (mode == Mode::Reverse && clock_.passes() > 0) {
            // Reverse runs are decoded on the item's own timeline.
            now = clock_.collapse();
            passesReported = 0;
            decoder.seek(now, true, [] { return false; });
        }

        bool busy = false;
        const bool eofAtStart = decoder.eof;
        if (mode == Mode::Forward || mode == Mode::Keyframes) {
            decoder.setKeyframesOnly(mode == Mode::Keyframes);
            queue_.dropBefore(now);
            if (decoder.unpark()) busy = true;
            const double newest = queue_.newestTime();
            const double lagLimit = mode == Mode::Keyframes ? 1.0 : 0.5;
            const double period = clock_.end();
            const int loops = loopsRemaining_.load();
            if (rate > 0 && !decoder.eof && newest >= 0 && newest < now - lagLimit &&
                !decoder.holdsPacketsUpTo(now)) {
                // Decoding fell behind the clock and has nothing read for the present (else it
                // catches up from the held packets): jump to the keyframe before the present.
                now = clock_.collapse();
                passesReported = 0;
                decoder.seek(now, false, [] { return false; });
                busy = true;
            } else if (decoder.eof && !decoder.hasParked() && mode == Mode::Forward && rate > 0 &&
                       loops != 0 && period >= kMinSeamlessLoopSeconds &&
                       clock_.passes() == clock_.passAt(now)) {
                // The last packet of a pass that is to loop is read: decode the start again
                // behind it, so the pictures and the sound run on through the loop point.
                decoder.rewindForLoop(period);
                clock_.addPass();
                if (loops > 0) loopsRemaining_ = loops - 1;
                busy = true;
            } else if (!decoder.eof && decoder.demuxEnded() && mode == Mode::Forward && rate > 0 &&
                       loops != 0 && period >= kMinSeamlessLoopSeconds &&
                       clock_.passes() == clock_.passAt(now) &&
                       decoder.rewindDemuxerForLoop(period)) {
                // The file is read to its end while pictures of this pass still wait: the next
                // pass is read behind them at once, so the sound's read-ahead runs on.
                clock_.addPass();
                if (loops > 0) loopsRemaining_ = loops - 1;
                busy = true;
            } else if (!decoder.eof) {
                const bool wantVideo = !queue_.full() && queue_.size() < kForwardQueueFrames;
                const bool wantAudio =
                    hasAudio_ && rate == 1.0f && audioRing_.bufferedAhead(now) < kAudioAheadSeconds;
                int read = 0;
                if (wantVideo) {
                    read = decoder.step(true);
                    busy = true;
                } else if (wantAudio && decoder.canReadAhead(now)) {
                    // The pictures wait as packets; the sound keeps to its own read-ahead.
                    read = decoder.readAhead();
                    busy = true;
                } else if (wantAudio && queue_.size() < kQueueCapacity) {
                    read = decoder.step(true);
                    busy = true;
                }
                // A read timed out: stop where we are rather than hang.
                if (read < 0 && !stop_) decoder.eof = true;
            }
        } else if (!queue_.covers(now, fd) && now > 0) {
            decoder.decodeRunEndingAt(now, rate < -2.0f, [this] {
                std::lock_guard lock(mutex_);
                return stop_.load() || seekPending_;
            });
            busy = true;
        }

        // The end of the item: pause on the last frame and report it once.
        if (clock_.end() < 0 && decoder.eof && decoder.lastFrameEnd > 0) {
            clock_.setEnd(decoder.lastFrameEnd);
            if (!std::isfinite(duration_.load())) duration_ = decoder.lastFrameEnd;
        }
        const double end = clock_.limit();
        const double position = clock_.itemTime();
        // Loop points the clock has run through: the owner counts the plays.
        for (const int pass = clock_.passAt(position); passesReported < pass; ++passesReported)
            if (callbacks_.looped) callbacks_.looped();
        // The last packet of a pass that is to loop was read in this very turn: the end is not
        // reported, the decoder wraps at its next turn and the clock runs on.
        const bool wrapPending = !eofAtStart && decoder.eof && rate > 0 && mode == Mode::Forward &&
                                 loopsRemaining_.load() != 0 &&
                                 clock_.end() >= kMinSeamlessLoopSeconds &&
                                 clock_.passes() == clock_.passAt(position);
        if (rate > 0 && end >= 0 && position >= end - 1e-9 && !wrapPending &&
            !decoder.hasParked()) {
            bool report = false;
            {
                std::lock_guard lock(mutex_);
                if (!seekPending_ && !endReported_) report = endReported_ = true;
            }
            if (report) {
                clock_.stopAt(end);
                if (callbacks_.reachedEnd) callbacks_.reachedEnd();
            }
        } else if (rate < 0 && position <= 0) {
            clock_.stopAt(0);
        }

        // Prerolls complete once the picture for the present position is there.
        std::vector<std::function<void(bool)>> ready;
        if (queue_.frameAt(clock_.itemTime()) || decoder.eof) {
            std::lock_guard lock(mutex_);
            ready.swap(prerolls_);
        }
        for (auto& fn : ready) fn(true);

        if (!busy) {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(4),
                           [this] { return stop_.load() || seekPending_ || woken_.load(); });
            woken_ = false;
        }
    }
    cancelPendingPrerolls();
    std::function<void(bool)> pending;
    {
        std::lock_guard lock(mutex_);
        if (seekPending_) pending = std::move(seek_.completion);
        seekPending_ = false;
    }
    if (pending) pending(false);
}

}  // namespace velmar
