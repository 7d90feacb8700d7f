#pragma once

#include <QHashFunctions>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace velmar {

// The output frame rate as timeScale units per second over frameDuration units per frame.
// Equality compares both fields exactly (60/1 and 120/2 differ, as stored files and the preset
// check rely on); sameRate() compares the rates. A plain value.
struct FrameRate {
    qint64 timeScale = 60000;
    qint64 frameDuration = 1001;

    // 23.98, 24, 25, 29.97, 30, 50, 59.94, 60 p, in that order.
    static const QList<FrameRate>& presets();

    // timeScale "/" frameDuration: "60000/1001".
    QString id() const;
    // "59.94 p", "60 p": the rate with two decimals, or none when it is within 0.001 of a whole
    // number. A frameDuration below 1 gives "0 p".
    QString label() const;
    // timeScale / frameDuration; 0 when frameDuration is below 1.
    double rate() const;

    // JSON object with "timeScale" and "frameDuration" (integers), both required on decoding;
    // fromJson throws JsonDecodingError.
    QJsonObject toJson() const;
    static FrameRate fromJson(const QJsonValue& json);

    friend bool operator==(const FrameRate&, const FrameRate&) = default;
};

// Whether two frame rates are the same rate (60/1 and 120/2 are), by exact cross-multiplication
// without overflow, for matching output modes. A rate whose frameDuration is below 1 has no
// value and matches only an identical FrameRate.
bool sameRate(const FrameRate& a, const FrameRate& b);

inline size_t qHash(const FrameRate& r, size_t seed = 0) {
    return qHashMulti(seed, r.timeScale, r.frameDuration);
}

}  // namespace velmar
