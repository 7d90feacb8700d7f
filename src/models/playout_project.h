#pragma once

#include "models/canvas_format.h"
#include "models/clip_group.h"
#include "models/clip_transform.h"
#include "models/frame_rate.h"
#include "models/key_alpha_mode.h"
#include "models/motion_kind.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

namespace velmar {

// The downstream keyer's part of a project: its files in list order, the one in use, and
// whether a keyer movie loops. The keyer (DSKController) names this type as its Record.
struct DSKRecord {
    QStringList paths;
    qint64 selectedIndex = 0;
    bool loops = true;
    bool operator==(const DSKRecord&) const = default;
};

// A project file as stored: the tabs with their clips and markers, the output settings and the
// keyer's sources. On disk it is this JSON (sorted keys) sealed by ProjectCrypto.
//
// load() checks, in order: the file size (before reading), the container, the JSON (every key
// may be absent or null; a present key of the wrong type fails the whole load), the clip count,
// and the canvas and frame rate. Values inside clip records are passed through and mended by
// makeGroups(), which bounds every number and drops what cannot be used.
//
// A plain value; load() and makeGroups() touch no shared state and may run on any thread.
struct PlayoutProject {
    static constexpr qint64 kMaxFileSize = 16'777'216;
    static constexpr qsizetype kMaxClipCount = 10'000;
    static constexpr qint64 kCurrentFormatVersion = 10;
    static constexpr qint64 kVersionWhenAbsent = 3;

    struct MarkerRecord {
        qint64 position = 0;  // the number of clips before the marker
        QString name;
        bool operator==(const MarkerRecord&) const = default;
    };

    struct ClipRecord {
        QString path;
        QString displayName;
        std::optional<qint64> pixelWidth;
        std::optional<qint64> pixelHeight;
        std::optional<MotionKind> motion;
        std::optional<double> motionDuration;
        std::optional<ClipTransform> transform;  // absent: the identity
        std::optional<qint64> loopCount;         // absent: 1
        std::optional<double> contentAnchorX;
        std::optional<double> contentAnchorY;
        bool operator==(const ClipRecord&) const = default;
    };

    struct GroupRecord {
        QString name;
        qint64 selectedIndex = 0;
        QList<ClipRecord> clips;
        std::optional<QList<MarkerRecord>> markers;
        bool operator==(const GroupRecord&) const = default;
    };

    // Why a file is refused. The message is looked up when read.
    class LoadError : public std::exception {
      public:
        enum class Kind { tooLarge, invalidFormat };
        explicit LoadError(Kind kind);
        Kind kind() const { return kind_; }
        QString errorDescription() const;
        const char* what() const noexcept override { return message_.c_str(); }
        bool operator==(const LoadError& other) const { return kind_ == other.kind_; }

      private:
        Kind kind_;
        std::string message_;
    };

    // Why a project is not written.
    class SaveError : public std::exception {
      public:
        enum class Kind { tooManyClips, tooLarge };
        // tooManyClips: the clip count; tooLarge: the sealed size in bytes.
        SaveError(Kind kind, qint64 value);
        Kind kind() const { return kind_; }
        qint64 value() const { return value_; }
        QString errorDescription() const;
        const char* what() const noexcept override { return message_.c_str(); }

      private:
        Kind kind_;
        qint64 value_;
        std::string message_;
    };

    // A file that could not be read (missing, unreadable, cut short while reading).
    class ReadError : public std::runtime_error {
      public:
        using std::runtime_error::runtime_error;
    };

    // pretty: the file and the autosave; compact: the same on one line; comparison: compact,
    // without the selections (written as 0) and what measuring a clip's file fills in (pixel
    // sizes, content anchors), for telling whether a project has unsaved changes.
    enum class Encoding { pretty, compact, comparison };

    qint64 formatVersion = kCurrentFormatVersion;
    std::optional<DSKRecord> dsk;
    CanvasFormat canvas;
    FrameRate frameRate;
    KeyAlphaMode keyAlphaMode;
    MotionKind defaultMotion;
    double fadeDuration = 0.5;
    bool autoAdvance = true;
    bool audioEnabled = true;
    bool unpremultiplyAlpha = false;
    QList<GroupRecord> groups;

    PlayoutProject();

    qsizetype clipCount() const;

    // JSON text with sorted keys, byte for byte as QJsonDocument writes the same record. Nothing
    // when a number is not finite (JSON cannot hold it).
    std::optional<QByteArray> encoded(Encoding encoding = Encoding::pretty) const;
    // Throws JsonReader::Error (or the value types' decoding error) for malformed JSON: the error
    // of the first value that fails in the decoding order. Reads the clips of a large document on
    // up to four threads of its own.
    static PlayoutProject decode(const QByteArray& json);
    // decode() without the quick reading of a saved file's tabs.
    static PlayoutProject decodeStrictly(const QByteArray& json);

    // Pretty JSON sealed for a project file. Throws SaveError before anything is written when
    // the project has more than 10000 clips or the sealed data exceeds 16 MB.
    QByteArray sealedFileData() const;

    // Reads a project file. Throws ReadError, LoadError, ProjectCrypto::Failure or a decoding
    // error.
    static PlayoutProject load(const QString& path);
    static void checkLimits(const PlayoutProject& project);

    // The tabs for the engine, with fresh ids and every value bounded. Makes the clips on up to
    // four threads of its own when there are many. isMissing is what a look at each clip's file
    // would give, with one look per distinct path, and none for the further files of a folder
    // that cannot be found itself.
    QList<ClipGroup> makeGroups() const;
    static Clip makeClip(const ClipRecord& record);
    static Clip makeClip(const ClipRecord& record, const QUuid& id);

    bool operator==(const PlayoutProject&) const = default;
};

}  // namespace velmar
