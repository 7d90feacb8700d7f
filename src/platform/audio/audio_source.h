#pragma once

namespace velmar {

// Something the local audio output mixes: a playing movie, later a reference tone.
// `render` runs on the audio thread; it must not allocate or wait (try-lock at most) and must
// fill all `frames` frames of 48 kHz interleaved stereo float, silence when it has nothing.
class AudioSource {
  public:
    virtual ~AudioSource() = default;
    virtual void render(float* interleavedStereo, int frames) = 0;
};

}  // namespace velmar
