#pragma once

#include "canvas/signal_capture.h"
#include "canvas/signal_snapshot.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmar {

// Measures one subsampled fill-and-key frame: one pass over the sample grid fills every
// statistic and histogram, then the fill, key and violation pictures, the luma and key
// waveforms, the RGB parade and the vectorscope are made from them. A pure function of its
// input, callable from any thread.
class SignalAnalyzer {
  public:
    // Histograms and scratch space kept between analyses by a caller that analyses often (one
    // thread at a time), so that a steady stream of frames does not allocate them anew.
    class Workspace {
      private:
        friend class SignalAnalyzer;
        // One strip of columns at a time: [column][luma, key, red, green, blue][level].
        std::vector<std::uint32_t> strip;
        std::vector<std::uint32_t> bins;        // [v][u], 256 x 256
        std::vector<double> intensity;          // 256 x 256
        std::vector<std::uint32_t> violations;  // sample indices
        std::vector<std::uint32_t> colours;     // [trace][hit count], packed RGBA
    };

    // The hit-count intensity of the scopes: min(1, 0.82 ln(1 + n) / ln(1 + max(N, 1)) + 0.18).
    static double intensity(long long n, long long maxCount);

    // Null when the grid is empty, the bytes are too few for it or an image other than the
    // violations overlay cannot be made (a failed overlay leaves `violations` null).
    static std::shared_ptr<const SignalSnapshot> analyze(
        const SignalCapture& capture, KeyAlphaMode keyAlphaMode, SignalSource source,
        Workspace* workspace = nullptr,
        std::chrono::system_clock::time_point capturedAt = std::chrono::system_clock::now());

  private:
    struct Totals;
    template <bool kPremultiplied>
    static void measureStrip(const SignalCapture& capture, int strip, int stripEnd, int columns,
                             SignalSnapshot& s, Workspace& ws, Totals& totals);
    static void drawStrip(SignalSnapshot& s, int strip, int stripEnd, int columns, int rows,
                          Workspace& ws, long long keyCounts[256]);
    static QImage vectorscopeImage(Workspace& ws);
};

}  // namespace velmar
