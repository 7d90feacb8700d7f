#pragma once

#include "models/clip_transform.h"
#include "models/motion_kind.h"

#include <QHashFunctions>
#include <QJsonValue>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <array>
#include <optional>

namespace velmar {

// One media item of a tab. A plain value: copies keep the id; every newly made Clip draws a
// fresh random id (also clips read from a project file; ids are never stored). Equality and
// hashing cover every field.
struct Clip {
    // Still or movie. Converts to Kind::Value; raw values "still" and "movie".
    class Kind {
      public:
        enum Value : unsigned char { still, movie };

        // Implicit on purpose, like the enumeration it wraps.
        constexpr Kind(Value value = still) : value_(value) {}
        constexpr operator Value() const { return value_; }

        static const std::array<Kind, 2>& allCases();
        QString rawValue() const;
        static std::optional<Kind> fromRawValue(const QString& raw);

        // JSON: the raw value as a string. fromJson throws JsonDecodingError for anything else.
        QJsonValue toJson() const { return rawValue(); }
        static Kind fromJson(const QJsonValue& json);

      private:
        Value value_;
    };

    QUuid id = QUuid::createUuid();
    QUrl url;             // the media file (a file URL)
    QString displayName;  // a clip made from a file is named by the file name without extension
    Kind kind = Kind::still;
    std::optional<int> pixelWidth;  // pixel size of the medium once known
    std::optional<int> pixelHeight;
    bool isMissing = false;                   // no file exists at the URL's path
    std::optional<QString> unreadableReason;  // why the medium cannot be used, once examined
    int loopCount = 1;                        // plays in total when taken; 0 = endlessly
    // Centre of weight of the visible content, -1 (left/top edge) to 1 (right/bottom edge).
    std::optional<double> contentAnchorX;
    std::optional<double> contentAnchorY;
    ClipTransform transform;
    std::optional<MotionKind> motion;      // absent: the engine's default motion
    std::optional<double> motionDuration;  // seconds; absent: the engine's default duration

    // Lower-case extensions taken as stills / movies.
    static const QSet<QString>& stillExtensions();
    static const QSet<QString>& movieExtensions();
    // The kind of a file by its extension, matched case-insensitively (stills first); none for
    // a file whose extension is not a supported medium or that has none.
    static std::optional<Kind> kindFor(const QString& path);
    static std::optional<Kind> kindFor(const QUrl& url);

    // The loop badge: none for a still or a movie played once, "∞" for endless, else "×" and
    // the count ("×3").
    std::optional<QString> loopLabel() const;

    friend bool operator==(const Clip&, const Clip&) = default;
};

inline size_t qHash(Clip::Kind kind, size_t seed = 0) {
    return qHash(kind.rawValue(), seed);
}
size_t qHash(const Clip& clip, size_t seed = 0);

}  // namespace velmar
