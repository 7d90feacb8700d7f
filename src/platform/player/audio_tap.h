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
};

// A hook in a movie's audio path between decoding and the local output. `process` runs on the
// audio thread for each block: it fetches the source audio into `buffers` and may measure,
// forward and change it; what is left in the buffers is played locally. It must not wait.
class AudioTap {
  public:
    virtual ~AudioTap() = default;
    virtual void prepare(double sampleRate) { (void)sampleRate; }
    virtual void process(AudioTapSource& source, AudioBufferList& buffers, int frames) = 0;
};

}  // namespace velmar
