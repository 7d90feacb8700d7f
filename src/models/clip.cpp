#include "models/clip.h"

#include "models/raw_enum.h"

#include <QFileInfo>

namespace velmar {
namespace {

constexpr RawCase<Clip::Kind::Value> kKindCases[] = {{Clip::Kind::still, "still"},
                                                     {Clip::Kind::movie, "movie"}};
static_assert(raw_enum::inCaseOrder(kKindCases));

template <typename T>
size_t hashOptional(const std::optional<T>& value, size_t seed) {
    return value ? qHashMulti(seed, true, *value) : qHashMulti(seed, false);
}

size_t hashOptional(const std::optional<double>& value, size_t seed) {
    return value ? qHashMulti(seed, true, *value + 0.0) : qHashMulti(seed, false);
}

}  // namespace

const std::array<Clip::Kind, 2>& Clip::Kind::allCases() {
    static constexpr auto cases = raw_enum::allCases<Kind>(kKindCases);
    return cases;
}

QString Clip::Kind::rawValue() const {
    return raw_enum::rawValue(kKindCases, value_);
}

std::optional<Clip::Kind> Clip::Kind::fromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<Kind>(kKindCases, raw);
}

Clip::Kind Clip::Kind::fromJson(const QJsonValue& json) {
    return raw_enum::fromJson<Kind>(kKindCases, json, "kind", "clip kind");
}

const QSet<QString>& Clip::stillExtensions() {
    static const QSet<QString> set = {
        QStringLiteral("png"),  QStringLiteral("tif"), QStringLiteral("tiff"),
        QStringLiteral("psd"),  QStringLiteral("jpg"), QStringLiteral("jpeg"),
        QStringLiteral("heic"), QStringLiteral("bmp"), QStringLiteral("gif"),
        QStringLiteral("exr"),
    };
    return set;
}

const QSet<QString>& Clip::movieExtensions() {
    static const QSet<QString> set = {
        QStringLiteral("mov"), QStringLiteral("mp4"), QStringLiteral("m4v"),
        QStringLiteral("mxf"), QStringLiteral("avi"),
    };
    return set;
}

std::optional<Clip::Kind> Clip::kindFor(const QString& path) {
    // The path extension: what follows the last dot of the file name ("a.tar.MOV" -> "mov").
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension.isEmpty()) return std::nullopt;
    if (stillExtensions().contains(extension)) return Kind::still;
    if (movieExtensions().contains(extension)) return Kind::movie;
    return std::nullopt;
}

std::optional<Clip::Kind> Clip::kindFor(const QUrl& url) {
    return kindFor(url.isLocalFile() ? url.toLocalFile() : url.path());
}

std::optional<QString> Clip::loopLabel() const {
    if (kind != Kind::movie || loopCount == 1) return std::nullopt;
    if (loopCount == 0) return QString(QChar(0x221E));
    return QChar(0x00D7) + QString::number(loopCount);
}

size_t qHash(const Clip& c, size_t seed) {
    seed = qHashMulti(seed, c.id, c.url, c.displayName, c.kind);
    seed = hashOptional(c.pixelWidth, seed);
    seed = hashOptional(c.pixelHeight, seed);
    seed = qHashMulti(seed, c.isMissing);
    seed = hashOptional(c.unreadableReason, seed);
    seed = qHashMulti(seed, c.loopCount);
    seed = hashOptional(c.contentAnchorX, seed);
    seed = hashOptional(c.contentAnchorY, seed);
    seed = qHashMulti(seed, c.transform, c.motion.has_value());
    if (c.motion) seed = qHash(*c.motion, seed);
    return hashOptional(c.motionDuration, seed);
}

}  // namespace velmar
