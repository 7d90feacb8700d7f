#pragma once

#include "platform/audio/audio_buffer_list.h"

namespace velmar {

// The movie's decoded audio, as the tap fetches it: fills the buffers with `frames` frames
// (48 kHz stereo float, interleaved) and says how many it delivered; false when no audio is
// ready for the present position.
class AudioTapSource {
  public:
    virtual ~AudioTapSource() = default;
    virtual bool fetch(AudioBufferList& buffers, int frames, int* framesDelivered) = 0;

    // Sources that hold decoded audio ahead of the present can feed outputs in advance: the
    // item time of the block being fetched, and a copy (48 kHz interleaved stereo) of up to
    // `frames` frames from item time `*from` on, which stays for the local fetch. `*from` moves
    // to the oldest held frame when it lies before it. Returns the frames copied (0: none now).
    // By default a source has no audio ahead.
    virtual bool presentTime(double* itemTime) const {
        (void)itemTime;
        return false;
    }
    virtual int copyAhead(float* interleaved, int frames, double* from) {
        (void)interleaved;
        (void)frames;
        (void)from;
        return 0;
    }
};

// A hook in a movie's audio path between decoding and the local output. `process` runs on the
// audio thread for each block: it fetches the source audio into `buffers` and may measure,
// forward and change it; what is left in the buffers is played locally. It must not wait.
class AudioTap {
  public:
    virtual ~AudioTap() = default;
    virtual void prepare(double sampleRate) { (void)sampleRate; }
    virtual void process(AudioTapSource& source, AudioBufferList& buffers, int frames) = 0;
    // The player's sound broke off at the present: it was told to leave rate 1 (pause, a frame
    // step, any other rate), or a seek landed while it ran at rate 1. Whatever the tap handed on
    // ahead of the present is no longer wanted. Runs on the thread that changed the rate or
    // landed the seek, after any `process` of the sound before the break has returned and
    // before the next one starts.
    virtual void soundInterrupted() {}
};

}  // namespace velmar
