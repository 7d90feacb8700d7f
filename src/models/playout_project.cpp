#include "models/playout_project.h"

#include "models/json_reader.h"
#include "models/localized.h"
#include "models/project_crypto.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace velmar {

namespace {

using Key = QLatin1StringView;

QString indexed(const QString& path, qsizetype index) { return path + QStringLiteral("[%1]").arg(index); }

// --- Encoding ---

QJsonObject clipToJson(const PlayoutProject::ClipRecord& clip) {
    QJsonObject o;
    o.insert(QStringLiteral("path"), clip.path);
    o.insert(QStringLiteral("displayName"), clip.displayName);
    if (clip.pixelWidth) o.insert(QStringLiteral("pixelWidth"), *clip.pixelWidth);
    if (clip.pixelHeight) o.insert(QStringLiteral("pixelHeight"), *clip.pixelHeight);
    if (clip.motion) o.insert(QStringLiteral("motion"), clip.motion->toJson());
    if (clip.motionDuration) o.insert(QStringLiteral("motionDuration"), *clip.motionDuration);
    if (clip.transform && !(*clip.transform == ClipTransform::identity())) {
        // Written field by field: a non-finite field must fail the encoding, not turn silently
        // into another value.
        const ClipTransform& t = *clip.transform;
        o.insert(QStringLiteral("transform"),
                 QJsonObject{{QStringLiteral("offsetX"), t.offsetX}, {QStringLiteral("offsetY"), t.offsetY},
                             {QStringLiteral("scale"), t.scale}, {QStringLiteral("rotation"), t.rotation},
                             {QStringLiteral("opacity"), t.opacity}});
    }
    if (clip.loopCount && *clip.loopCount != 1) o.insert(QStringLiteral("loopCount"), *clip.loopCount);
    if (clip.contentAnchorX) o.insert(QStringLiteral("contentAnchorX"), *clip.contentAnchorX);
    if (clip.contentAnchorY) o.insert(QStringLiteral("contentAnchorY"), *clip.contentAnchorY);
    return o;
}

QJsonObject groupToJson(const PlayoutProject::GroupRecord& group) {
    QJsonArray clips;
    for (const auto& clip : group.clips) clips.append(clipToJson(clip));
    QJsonArray markers;
    for (const auto& marker : group.markers.value_or(QList<PlayoutProject::MarkerRecord>())) {
        markers.append(QJsonObject{{QStringLiteral("position"), marker.position},
                                   {QStringLiteral("name"), marker.name}});
    }
    return {{QStringLiteral("name"), group.name},
            {QStringLiteral("selectedIndex"), group.selectedIndex},
            {QStringLiteral("clips"), clips},
            {QStringLiteral("markers"), markers}};
}

// --- Decoding ---

DSKRecord decodeDSK(const JsonReader& json) {
    DSKRecord record;
    if (auto paths = json.optionalArray(Key("paths"))) {
        for (qsizetype i = 0; i < paths->size(); ++i) {
            record.paths.append(JsonReader::toString(paths->at(i), indexed(json.pathOf(Key("paths")), i)));
        }
    } else if (auto path = json.optionalString(Key("path"))) {
        record.paths = {*path};
    }
    record.selectedIndex = json.optionalInteger(Key("selectedIndex")).value_or(0);
    record.loops = json.optionalBool(Key("loops")).value_or(true);
    return record;
}

PlayoutProject::ClipRecord decodeClip(const JsonReader& json) {
    PlayoutProject::ClipRecord clip;
    clip.path = json.string(Key("path"));
    clip.displayName = json.string(Key("displayName"));
    clip.pixelWidth = json.optionalInteger(Key("pixelWidth"));
    clip.pixelHeight = json.optionalInteger(Key("pixelHeight"));
    if (auto motion = json.optionalValue(Key("motion"))) clip.motion = MotionKind::fromJson(*motion);
    clip.motionDuration = json.optionalNumber(Key("motionDuration"));
    if (auto t = json.optionalValue(Key("transform"))) clip.transform = ClipTransform::fromJson(*t);
    clip.loopCount = json.optionalInteger(Key("loopCount"));
    clip.contentAnchorX = json.optionalNumber(Key("contentAnchorX"));
    clip.contentAnchorY = json.optionalNumber(Key("contentAnchorY"));
    return clip;
}

PlayoutProject::GroupRecord decodeGroup(const JsonReader& json) {
    PlayoutProject::GroupRecord group;
    group.name = json.string(Key("name"));
    group.selectedIndex = json.integer(Key("selectedIndex"));
    const QJsonArray clips = json.array(Key("clips"));
    group.clips.reserve(clips.size());
    const QString clipsPath = json.pathOf(Key("clips"));
    for (qsizetype i = 0; i < clips.size(); ++i) {
        group.clips.append(decodeClip(JsonReader::element(clips.at(i), clipsPath, i)));
    }
    if (auto markers = json.optionalArray(Key("markers"))) {
        QList<PlayoutProject::MarkerRecord> list;
        for (qsizetype i = 0; i < markers->size(); ++i) {
            const JsonReader m = JsonReader::object(markers->at(i), indexed(json.pathOf(Key("markers")), i));
            list.append({m.integer(Key("position")), m.string(Key("name"))});
        }
        group.markers = std::move(list);
    }
    return group;
}

// A random (version 4) UUID from the global generator: a new identity for every clip, marker and
// tab of a loaded project without one system call each, which adds up over 10000 clips.
QUuid uuidFromRandom(const quint64* words) {
    std::array<char, 16> bytes{};
    std::memcpy(bytes.data(), words, bytes.size());
    bytes[6] = static_cast<char>((bytes[6] & 0x0f) | 0x40);
    bytes[8] = static_cast<char>((bytes[8] & 0x3f) | 0x80);
    return QUuid::fromRfc4122(QByteArrayView(bytes.data(), 16));
}

QUuid freshId() {
    std::array<quint64, 2> words{};
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    return uuidFromRandom(words.data());
}

double bounded(double value, double low, double high) { return std::clamp(value, low, high); }
double mended(double value, double low, double high, double whenNotFinite) {
    return std::isfinite(value) ? std::clamp(value, low, high) : whenNotFinite;
}

std::optional<int> pixelSize(const std::optional<qint64>& value) {
    if (value && *value >= 1 && *value <= 16384) return static_cast<int>(*value);
    return std::nullopt;
}

std::optional<double> anchor(const std::optional<double>& value) {
    if (value && std::isfinite(*value) && std::abs(*value) <= 1) return value;
    return std::nullopt;
}

}  // namespace

// --- Errors ---

PlayoutProject::LoadError::LoadError(Kind kind) : kind_(kind), message_(errorDescription().toStdString()) {}

QString PlayoutProject::LoadError::errorDescription() const {
    if (kind_ == Kind::tooLarge) return localized("プロジェクトが安全上限（16 MB / 素材10000件）を超えています");
    return localized("キャンバスまたはフレームレートが対応範囲外です");
}

PlayoutProject::SaveError::SaveError(Kind kind, qint64 value)
    : kind_(kind), value_(value), message_(errorDescription().toStdString()) {}

QString PlayoutProject::SaveError::errorDescription() const {
    if (kind_ == Kind::tooManyClips) {
        return localizedFormat("素材が %lld 件あります。保存できるのは %lld 件までです",
                               {FormatArg(static_cast<long long>(value_)),
                                FormatArg(static_cast<long long>(maxClipCount))});
    }
    const QString megabytes = QString::asprintf("%.1f", static_cast<double>(value_) / 1'048'576.0);
    return localizedFormat("プロジェクトが %@ MB になります。保存できるのは 16 MB までです", {FormatArg(megabytes)});
}

// --- Project ---

PlayoutProject::PlayoutProject()
    : frameRate{60000, 1001}, keyAlphaMode(KeyAlphaMode::straight), defaultMotion(MotionKind::fade) {}

qsizetype PlayoutProject::clipCount() const {
    qsizetype count = 0;
    for (const auto& group : groups) count += group.clips.size();
    return count;
}

std::optional<QByteArray> PlayoutProject::encoded(Encoding encoding) const {
    QJsonArray groupArray;
    for (const auto& group : groups) groupArray.append(groupToJson(group));
    QJsonObject o{{QStringLiteral("formatVersion"), formatVersion},
                  {QStringLiteral("canvas"), canvas.toJson()},
                  {QStringLiteral("frameRate"), frameRate.toJson()},
                  {QStringLiteral("keyAlphaMode"), keyAlphaMode.toJson()},
                  {QStringLiteral("defaultMotion"), defaultMotion.toJson()},
                  {QStringLiteral("fadeDuration"), fadeDuration},
                  {QStringLiteral("autoAdvance"), autoAdvance},
                  {QStringLiteral("audioEnabled"), audioEnabled},
                  {QStringLiteral("unpremultiplyAlpha"), unpremultiplyAlpha},
                  {QStringLiteral("groups"), groupArray}};
    if (dsk) {
        o.insert(QStringLiteral("dsk"), QJsonObject{{QStringLiteral("paths"), QJsonArray::fromStringList(dsk->paths)},
                                                    {QStringLiteral("selectedIndex"), dsk->selectedIndex},
                                                    {QStringLiteral("loops"), dsk->loops}});
    }
    if (!JsonReader::allNumbersFinite(o)) return std::nullopt;
    return QJsonDocument(o).toJson(encoding == Encoding::pretty ? QJsonDocument::Indented : QJsonDocument::Compact);
}

PlayoutProject PlayoutProject::decode(const QByteArray& json) {
    const JsonReader top = JsonReader::document(json);
    PlayoutProject project;
    if (auto dsk = top.optionalObject(Key("dsk"))) {
        project.dsk = decodeDSK(*dsk);
    } else {
        project.dsk.reset();
    }
    project.formatVersion = top.optionalInteger(Key("formatVersion")).value_or(versionWhenAbsent);
    if (auto v = top.optionalValue(Key("canvas"))) project.canvas = CanvasFormat::fromJson(*v);
    if (auto v = top.optionalValue(Key("frameRate"))) project.frameRate = FrameRate::fromJson(*v);
    if (auto v = top.optionalValue(Key("keyAlphaMode"))) project.keyAlphaMode = KeyAlphaMode::fromJson(*v);
    if (auto v = top.optionalValue(Key("defaultMotion"))) project.defaultMotion = MotionKind::fromJson(*v);
    project.fadeDuration = top.optionalNumber(Key("fadeDuration")).value_or(0.5);
    project.autoAdvance = top.optionalBool(Key("autoAdvance")).value_or(true);
    project.audioEnabled = top.optionalBool(Key("audioEnabled")).value_or(true);
    project.unpremultiplyAlpha = top.optionalBool(Key("unpremultiplyAlpha")).value_or(false);
    if (auto groups = top.optionalArray(Key("groups"))) {
        project.groups.reserve(groups->size());
        for (qsizetype i = 0; i < groups->size(); ++i) {
            project.groups.append(decodeGroup(JsonReader::element(groups->at(i), QStringLiteral("groups"), i)));
        }
    }
    return project;
}

QByteArray PlayoutProject::sealedFileData() const {
    const qsizetype count = clipCount();
    if (count > maxClipCount) throw SaveError(SaveError::Kind::tooManyClips, count);
    const auto json = encoded(Encoding::pretty);
    if (!json) throw JsonReader::error(QString(), QStringLiteral("a number is not finite"));
    QByteArray sealed = ProjectCrypto::seal(*json);
    if (sealed.size() > maxFileSize) throw SaveError(SaveError::Kind::tooLarge, sealed.size());
    return sealed;
}

void PlayoutProject::checkLimits(const PlayoutProject& project) {
    if (project.clipCount() > maxClipCount) throw LoadError(LoadError::Kind::tooLarge);
    const CanvasFormat& c = project.canvas;
    const bool canvasOK = c.width >= 1 && c.width <= 4096 && c.height >= 1 && c.height <= 2160 &&
                          static_cast<double>(c.width) * static_cast<double>(c.height) <= 8'847'360.0;
    const auto& presets = FrameRate::presets();
    const bool rateOK = std::find(presets.begin(), presets.end(), project.frameRate) != presets.end();
    if (!canvasOK || !rateOK) throw LoadError(LoadError::Kind::invalidFormat);
}

PlayoutProject PlayoutProject::load(const QString& path) {
    QFile file(path);
    const QFileInfo info(path);
    if (!info.exists()) throw ReadError("The file does not exist: " + path.toStdString());
    if (info.size() > maxFileSize) throw LoadError(LoadError::Kind::tooLarge);
    if (!file.open(QIODevice::ReadOnly)) throw ReadError(file.errorString().toStdString());
    // Read one byte past the size found (never past the limit): a file that grew after the size
    // check is still refused, and no more memory is taken than the file needs.
    QByteArray sealed = file.read(std::min(info.size(), maxFileSize) + 1);
    if (file.error() != QFileDevice::NoError) throw ReadError(file.errorString().toStdString());
    if (sealed.size() > info.size()) {
        // It grew: read on to the limit (bounded) so the checks see the file as it is now.
        const QByteArray more = file.read(maxFileSize + 1 - sealed.size());
        if (sealed.size() + more.size() > maxFileSize) throw LoadError(LoadError::Kind::tooLarge);
        sealed.append(more);
    }
    PlayoutProject project = decode(ProjectCrypto::open(sealed));
    checkLimits(project);
    return project;
}

Clip PlayoutProject::makeClip(const ClipRecord& record) { return makeClip(record, freshId()); }

Clip PlayoutProject::makeClip(const ClipRecord& record, const QUuid& id) {
    ClipTransform transform = ClipTransform::identity();
    if (record.transform) {
        const ClipTransform& t = *record.transform;
        transform.offsetX = mended(t.offsetX, -2, 2, 0);
        transform.offsetY = mended(t.offsetY, -2, 2, 0);
        transform.scale = mended(t.scale, 0.05, 4096, 1);
        transform.rotation = mended(t.rotation, -180, 180, 0);
        transform.opacity = mended(t.opacity, 0, 1, 1);
    }
    std::optional<double> motionDuration;
    if (record.motionDuration && std::isfinite(*record.motionDuration)) {
        motionDuration = bounded(*record.motionDuration, 0.1, 5.0);
    }
    return Clip{
        .id = id,
        .url = QUrl::fromLocalFile(record.path),
        .displayName = record.displayName,
        .kind = Clip::kindFor(record.path).value_or(Clip::Kind::still),
        .pixelWidth = pixelSize(record.pixelWidth),
        .pixelHeight = pixelSize(record.pixelHeight),
        .isMissing = record.path.isEmpty() || !QFileInfo::exists(record.path),
        .unreadableReason = std::nullopt,
        .loopCount = record.loopCount ? static_cast<int>(std::clamp<qint64>(*record.loopCount, 0, 10000)) : 1,
        .contentAnchorX = anchor(record.contentAnchorX),
        .contentAnchorY = anchor(record.contentAnchorY),
        .transform = transform,
        .motion = record.motion,
        .motionDuration = motionDuration,
    };
}

namespace {

// Makes the clips of all groups, on a few threads for large projects: each clip's file is looked
// at, and on a network volume every look is a round trip; 10000 of them in a row take long.
std::vector<std::optional<Clip>> makeAllClips(const QList<PlayoutProject::GroupRecord>& groups) {
    std::vector<const PlayoutProject::ClipRecord*> records;
    for (const auto& group : groups) {
        for (const auto& clip : group.clips) records.push_back(&clip);
    }
    // All the ids' randomness in one draw.
    std::vector<quint64> random(records.size() * 2);
    QRandomGenerator::global()->fillRange(random.data(), random.size());
    // Empty slots: a default-made Clip would draw an id of its own for nothing.
    std::vector<std::optional<Clip>> clips(records.size());
    auto make = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            clips[i] = PlayoutProject::makeClip(*records[i], uuidFromRandom(&random[2 * i]));
        }
    };
    const size_t threads =
        records.size() < 512 ? 1 : std::min<size_t>(4, std::max(1u, std::thread::hardware_concurrency()));
    const size_t chunk = (records.size() + threads - 1) / std::max<size_t>(threads, 1);
    std::vector<std::thread> workers;
    for (size_t t = 1; t < threads; ++t) {
        workers.emplace_back(make, std::min(records.size(), t * chunk), std::min(records.size(), (t + 1) * chunk));
    }
    make(0, std::min(records.size(), chunk));
    for (auto& worker : workers) worker.join();
    return clips;
}

}  // namespace

QList<ClipGroup> PlayoutProject::makeGroups() const {
    std::vector<std::optional<Clip>> clips = makeAllClips(groups);
    size_t next = 0;
    QList<ClipGroup> result;
    result.reserve(groups.size());
    for (const GroupRecord& record : groups) {
        ClipGroup group{.id = freshId(), .name = record.name};
        group.clips.reserve(record.clips.size());
        for (qsizetype i = 0; i < record.clips.size(); ++i) group.clips.append(std::move(*clips[next++]));
        const qint64 count = group.clips.size();
        for (const MarkerRecord& marker : record.markers.value_or(QList<MarkerRecord>())) {
            if (marker.position < 0 || marker.position > count) continue;
            group.markers.append(Marker{.id = freshId(), .position = static_cast<int>(marker.position), .name = marker.name});
        }
        std::stable_sort(group.markers.begin(), group.markers.end(),
                         [](const Marker& a, const Marker& b) { return a.position < b.position; });
        group.selectedIndex = static_cast<int>(std::clamp<qint64>(record.selectedIndex, 0, count));
        result.append(std::move(group));
    }
    return result;
}

}  // namespace velmar
