#pragma once

#include <mutex>
#include <vector>

namespace velmar {

// Decoded movie audio waiting to be played: 48 kHz interleaved stereo float with the media
// time of its oldest frame. The decoder writes; the audio thread reads the frames for the
// present item time with a try-lock, skipping what is late and refusing what is early.
class AudioSampleRing {
  public:
    static constexpr int sampleRate = 48000;

    explicit AudioSampleRing(int capacityFrames);

    // Appends frames that start at `startTime`; a start that does not continue the held audio
    // replaces it. When full, the oldest frames go.
    void write(const float* interleaved, int frames, double startTime);
    // Copies `frames` frames for item time `itemTime`; false (nothing copied) when the lock is
    // busy, or the ring holds no audio for that time yet.
    bool tryRead(float* interleaved, int frames, double itemTime);
    // Copies up to `frames` held frames starting at item time `*from`, without consuming them
    // (outputs fed ahead of the present read here). When `*from` lies before the held audio it
    // moves to the oldest held frame. Returns the count: 0 when the lock is busy or nothing is
    // held from there on.
    int tryCopy(float* interleaved, int frames, double* from) const;
    void clear();
    int storedFrames() const;
    // Seconds of audio held beyond `itemTime` (0 when none).
    double bufferedAhead(double itemTime) const;

  private:
    void dropLocked(int frames);

    mutable std::mutex mutex_;
    std::vector<float> samples_;
    int capacity_;
    int readIndex_ = 0;
    int stored_ = 0;
    double readTime_ = 0;
};

}  // namespace velmar
