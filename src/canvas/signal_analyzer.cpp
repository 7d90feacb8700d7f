#include "canvas/signal_analyzer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace velmar {

namespace {

constexpr double kRed = 0.2126, kGreen = 0.7152, kBlue = 0.0722;
constexpr double kCbScale = 1.8556, kCrScale = 1.5748;

// Per-byte terms of the luma sum, each computed exactly as the plain formula would (the byte
// scaled to 0...1, then weighted), so the tables change no result.
struct Tables {
    std::array<double, 256> unit{}, red{}, green{}, blue{};
    Tables() {
        for (int i = 0; i < 256; ++i) {
            unit[i] = i / 255.0;
            red[i] = kRed * unit[i];
            green[i] = kGreen * unit[i];
            blue[i] = kBlue * unit[i];
        }
    }
};
const Tables& tables() {
    static const Tables t;
    return t;
}

// round(a) half away from zero, clamped to a level 0...255. Adding 0.5 and truncating is
// exact except just below a half, where the sum itself can round up (0.49999999999999994 + 0.5
// is 1.0); the correction catches that without a branch that random data would mispredict.
int roundedLevel(double a) {
    a = std::clamp(a, 0.0, 255.0);
    int r = int(a + 0.5);
    r -= int(double(r) - a > 0.5);
    return r;
}

std::uint32_t packRgba(int r, int g, int b, int a) {
    // RGBA8888 in memory order R, G, B, A.
    std::uint32_t out = 0;
    const std::uint8_t bytes[4] = {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b),
                                   std::uint8_t(a)};
    std::memcpy(&out, bytes, 4);
    return out;
}

std::uint32_t colourOf(double t, const double factors[3]) {
    auto c = [t](double f) { return int(std::min(255.0, t * f * 255.0)); };
    return packRgba(c(factors[0]), c(factors[1]), c(factors[2]), 255);
}

const double kLumaTrace[3] = {0.35, 1.0, 0.45};
const double kKeyTrace[3] = {0.95, 0.95, 0.95};
const double kParadeRed[3] = {1.0, 0.3, 0.3};
const double kParadeGreen[3] = {0.35, 1.0, 0.4};
const double kParadeBlue[3] = {0.4, 0.55, 1.0};

}  // namespace

double SignalAnalyzer::intensity(long long n, long long maxCount) {
    const double denominator = std::log(1.0 + double(std::max(maxCount, 1LL)));
    // The ratio first, so that n = N gives exactly 1.
    return std::min(1.0, 0.82 * (std::log(1.0 + double(n)) / denominator) + 0.18);
}

// Running statistics of one pass, carried from strip to strip.
struct SignalAnalyzer::Totals {
    double lumaMin = 1.0, lumaMax = 0.0, lumaSum = 0;
    double keyedMin = 1.0, keyedMax = 0.0;
    double cbMin = 0.5, cbMax = -0.5, crMin = 0.5, crMax = -0.5;
    long long violations = 0, fillOutsideKey = 0;
};

namespace {

constexpr int kStrip = 32;
constexpr int kTraces = 5;  // luma, key, red, green, blue
constexpr std::size_t kColumnHistograms = kTraces * 256;

}  // namespace

template <bool kPremultiplied>
void SignalAnalyzer::measureStrip(const SignalCapture& capture, int strip, int stripEnd,
                                  int columns, SignalSnapshot& s, Workspace& ws, Totals& totals) {
    const Tables& t = tables();
    const std::size_t rowBytes = 4 * std::size_t(capture.width);
    const std::size_t pixelStride = 4 * std::size_t(capture.step);
    const int rows = capture.rowCount;
    // Locals rather than the totals' fields, so that they stay in registers.
    double lumaMin = totals.lumaMin, lumaMax = totals.lumaMax, lumaSum = totals.lumaSum;
    double keyedMin = totals.keyedMin, keyedMax = totals.keyedMax;
    double cbMin = totals.cbMin, cbMax = totals.cbMax, crMin = totals.crMin, crMax = totals.crMax;
    long long violations = 0, fillOutsideKey = 0;
    std::uint32_t* const histograms = ws.strip.data();
    std::uint32_t* const bins = ws.bins.data();
    std::uint8_t* const fillBits = s.fill.bits();
    const std::size_t fillStride = std::size_t(s.fill.bytesPerLine());
    std::uint8_t* const keyBits = s.key.bits();
    const std::size_t keyStride = std::size_t(s.key.bytesPerLine());
    for (int i = 0; i < rows; ++i) {
        const std::uint8_t* p =
            capture.bytes.data() + std::size_t(i) * rowBytes + std::size_t(strip) * pixelStride;
        std::uint8_t* fillOut = fillBits + std::size_t(i) * fillStride + 4 * std::size_t(strip);
        std::uint8_t* keyOut = keyBits + std::size_t(i) * keyStride + std::size_t(strip);
        std::uint32_t* h = histograms;
        for (int j = strip; j < stripEnd;
             ++j, p += pixelStride, fillOut += 4, ++keyOut, h += kColumnHistograms) {
            const int B = p[0], G = p[1], R = p[2], A = p[3];
            fillOut[0] = std::uint8_t(R);
            fillOut[1] = std::uint8_t(G);
            fillOut[2] = std::uint8_t(B);
            fillOut[3] = 255;
            *keyOut = std::uint8_t(A);

            const double y = t.red[R] + t.green[G] + t.blue[B];
            const double cb = (t.unit[B] - y) / kCbScale;
            const double cr = (t.unit[R] - y) / kCrScale;
            lumaMin = std::min(lumaMin, y);
            lumaMax = std::max(lumaMax, y);
            cbMin = std::min(cbMin, cb);
            cbMax = std::max(cbMax, cb);
            crMin = std::min(crMin, cr);
            crMax = std::max(crMax, cr);
            if (A > 0) {
                keyedMin = std::min(keyedMin, y);
                keyedMax = std::max(keyedMax, y);
            }
            if constexpr (kPremultiplied) {
                if (A < std::max({R, G, B})) {
                    ++violations;
                    ws.violations.push_back(std::uint32_t(std::size_t(i) * columns + j));
                    fillOutsideKey += A == 0;
                }
            } else {
                fillOutsideKey += A == 0 && (R | G | B) != 0;
            }
            h[std::size_t(roundedLevel(y * 255))] += 1;
            h[256 + std::size_t(A)] += 1;
            h[512 + std::size_t(R)] += 1;
            h[768 + std::size_t(G)] += 1;
            h[1024 + std::size_t(B)] += 1;
            const int u = roundedLevel(cb * 255 + 127.5);
            const int v = roundedLevel(-cr * 255 + 127.5);
            bins[v * 256 + u] += 1;
            lumaSum += y;
        }
    }
    totals.lumaMin = lumaMin;
    totals.lumaMax = lumaMax;
    totals.lumaSum = lumaSum;
    totals.keyedMin = keyedMin;
    totals.keyedMax = keyedMax;
    totals.cbMin = cbMin;
    totals.cbMax = cbMax;
    totals.crMin = crMin;
    totals.crMax = crMax;
    totals.violations += violations;
    totals.fillOutsideKey += fillOutsideKey;
}

// Draws the strip's columns of the luma and key waveforms and of the parade's three planes
// while their histograms are still in cache, and adds the strip's key counts to the totals.
void SignalAnalyzer::drawStrip(SignalSnapshot& s, int strip, int stripEnd, int columns, int rows,
                               Workspace& ws, long long keyCounts[256]) {
    const std::uint32_t* const histograms = ws.strip.data();
    const int width = stripEnd - strip;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t* key = histograms + std::size_t(x) * kColumnHistograms + 256;
        for (int a = 0; a < 256; ++a) keyCounts[a] += key[a];
    }
    QImage* const images[kTraces] = {&s.lumaWaveform, &s.keyWaveform, &s.parade, &s.parade,
                                     &s.parade};
    const int offsets[kTraces] = {0, 0, 0, columns, 2 * columns};
    const std::size_t limit = std::size_t(rows);
    for (int trace = 0; trace < kTraces; ++trace) {
        const std::uint32_t* colours = ws.colours.data() + std::size_t(trace) * (limit + 1);
        const std::uint32_t* counts = histograms + std::size_t(trace) * 256;
        uchar* const bits = images[trace]->bits();
        const std::size_t stride = std::size_t(images[trace]->bytesPerLine());
        for (int y = 0; y < 256; ++y) {
            auto* out = reinterpret_cast<std::uint32_t*>(bits + std::size_t(y) * stride) +
                        offsets[trace] + strip;
            const std::uint32_t* level = counts + (255 - y);
            for (int x = 0; x < width; ++x)
                out[x] = colours[std::min<std::size_t>(level[std::size_t(x) * kColumnHistograms],
                                                       limit)];
        }
    }
}

QImage SignalAnalyzer::vectorscopeImage(Workspace& ws) {
    QImage image(256, 256, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull()) return image;
    const std::uint32_t maxCount = *std::max_element(ws.bins.begin(), ws.bins.end());
    ws.intensity.assign(256 * 256, 0.0);
    double* grid = ws.intensity.data();
    for (int v = 0; v < 256; ++v) {
        for (int u = 0; u < 256; ++u) {
            const std::uint32_t k = ws.bins[std::size_t(v) * 256 + std::size_t(u)];
            if (k == 0) continue;
            const double t = intensity(k, maxCount);
            const double spread = 0.7 * t;
            for (int dv = -1; dv <= 1; ++dv) {
                const int vv = v + dv;
                if (vv < 0 || vv > 255) continue;
                for (int du = -1; du <= 1; ++du) {
                    const int uu = u + du;
                    if (uu < 0 || uu > 255) continue;
                    double& cell = grid[vv * 256 + uu];
                    cell = std::max(cell, dv == 0 && du == 0 ? t : spread);
                }
            }
        }
    }
    for (int y = 0; y < 256; ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < 256; ++x) {
            const double w = grid[y * 256 + x];
            if (w <= 0) {
                out[x] = 0;
                continue;
            }
            out[x] = packRgba(int(std::min(255.0, w * 0.45 * 255)), int(std::min(255.0, w * 255)),
                              int(std::min(255.0, w * 0.55 * 255)), 255);
        }
    }
    return image;
}

std::shared_ptr<const SignalSnapshot> SignalAnalyzer::analyze(
    const SignalCapture& capture, KeyAlphaMode keyAlphaMode, SignalSource source,
    Workspace* workspace, std::chrono::system_clock::time_point capturedAt) {
    if (capture.width < 1 || capture.step < 1 || capture.rowCount < 1) return nullptr;
    const int columns = (capture.width + capture.step - 1) / capture.step;
    const int rows = capture.rowCount;
    const std::size_t rowBytes = 4 * std::size_t(capture.width);
    if (capture.bytes.size() < std::size_t(rows) * rowBytes) return nullptr;
    const std::size_t n = std::size_t(columns) * std::size_t(rows);

    Workspace local;
    Workspace& ws = workspace ? *workspace : local;
    ws.strip.resize(kStrip * kColumnHistograms);
    ws.bins.assign(256 * 256, 0);
    ws.violations.clear();

    auto snapshot = std::make_shared<SignalSnapshot>();
    SignalSnapshot& s = *snapshot;
    s.fill = QImage(columns, rows, QImage::Format_RGBA8888_Premultiplied);
    s.key = QImage(columns, rows, QImage::Format_Grayscale8);
    s.lumaWaveform = QImage(columns, 256, QImage::Format_RGBA8888_Premultiplied);
    s.keyWaveform = QImage(columns, 256, QImage::Format_RGBA8888_Premultiplied);
    s.parade = QImage(3 * columns, 256, QImage::Format_RGBA8888_Premultiplied);
    if (s.fill.isNull() || s.key.isNull() || s.lumaWaveform.isNull() || s.keyWaveform.isNull() ||
        s.parade.isNull())
        return nullptr;

    // One colour per possible count of each trace (a column's counts never exceed its samples),
    // instead of a logarithm per cell; no hits stay transparent.
    const double* const factors[kTraces] = {kLumaTrace, kKeyTrace, kParadeRed, kParadeGreen,
                                            kParadeBlue};
    ws.colours.assign(kTraces * (std::size_t(rows) + 1), 0);
    for (int trace = 0; trace < kTraces; ++trace) {
        std::uint32_t* colours = ws.colours.data() + std::size_t(trace) * (std::size_t(rows) + 1);
        for (int k = 1; k <= rows; ++k) colours[k] = colourOf(intensity(k, rows), factors[trace]);
    }

    // In strips of columns, row by row within a strip: the strip's histograms stay in cache
    // while its part of each capture row is read whole, and its waveform columns are drawn
    // from them before the next strip reuses them.
    const bool premultiplied = keyAlphaMode == KeyAlphaMode::premultiplied;
    Totals totals;
    long long keyCounts[256] = {};
    for (int strip = 0; strip < columns; strip += kStrip) {
        const int stripEnd = std::min(columns, strip + kStrip);
        std::fill_n(ws.strip.begin(), std::size_t(stripEnd - strip) * kColumnHistograms, 0u);
        if (premultiplied)
            measureStrip<true>(capture, strip, stripEnd, columns, s, ws, totals);
        else
            measureStrip<false>(capture, strip, stripEnd, columns, s, ws, totals);
        drawStrip(s, strip, stripEnd, columns, rows, ws, keyCounts);
    }

    // The key's range and fractions follow from its histogram, summed over the columns.
    int keyByteMin = 255, keyByteMax = 0;
    for (int a = 0; a < 256; ++a) {
        if (keyCounts[a] == 0) continue;
        keyByteMin = std::min(keyByteMin, a);
        keyByteMax = std::max(keyByteMax, a);
    }
    const long long transparent = keyCounts[0];
    const long long opaque = keyCounts[255];
    const long long semi = (long long)n - transparent - opaque;
    const long long keyedCount = (long long)n - transparent;
    const long long violations = totals.violations;

    SignalStats& st = s.stats;
    st.lumaMin = totals.lumaMin;
    st.lumaMax = totals.lumaMax;
    st.lumaAverage = totals.lumaSum / double(n);
    if (keyedCount > 0) {
        st.keyedLumaMin = totals.keyedMin;
        st.keyedLumaMax = totals.keyedMax;
    }
    st.cbMin = totals.cbMin;
    st.cbMax = totals.cbMax;
    st.crMin = totals.crMin;
    st.crMax = totals.crMax;
    st.keyMin = keyByteMin / 255.0;
    st.keyMax = keyByteMax / 255.0;
    st.keyTransparent = double(transparent) / double(n);
    st.keySemi = double(semi) / double(n);
    st.keyOpaque = double(opaque) / double(n);
    st.premultipliedViolations = violations;
    st.fillOutsideKey = totals.fillOutsideKey;
    st.sampleCount = (long long)n;

    s.vectorscope = vectorscopeImage(ws);
    if (s.vectorscope.isNull()) return nullptr;

    if (violations > 0) {
        QImage overlay(columns, rows, QImage::Format_RGBA8888_Premultiplied);
        if (!overlay.isNull()) {
            overlay.fill(Qt::transparent);
            const std::uint32_t magenta = packRgba(255, 0, 255, 255);
            for (const std::uint32_t index : ws.violations) {
                auto* row =
                    reinterpret_cast<std::uint32_t*>(overlay.scanLine(int(index / columns)));
                row[index % columns] = magenta;
            }
            s.violations = std::move(overlay);
        }
    }

    s.keyAlphaMode = keyAlphaMode;
    s.source = source;
    s.frameWidth = capture.width;
    s.frameHeight = capture.height;
    s.sampleColumns = columns;
    s.sampleRows = rows;
    s.capturedAt = capturedAt;
    return snapshot;
}

}  // namespace velmar
