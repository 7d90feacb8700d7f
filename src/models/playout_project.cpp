#include "models/playout_project.h"

#include "models/json_reader.h"
#include "models/localized.h"
#include "models/project_crypto.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
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

// A transform object as ClipTransform::fromJson() reads it (all five fields finite numbers,
// other keys ignored), or nothing when it would fail there.
std::optional<ClipTransform> quickTransform(const QJsonObject& object) {
    using Field = ClipTransform::Field;
    static constexpr std::array<std::pair<Key, Field::Value>, 5> fields{{{Key("offsetX"), Field::offsetX},
                                                                         {Key("offsetY"), Field::offsetY},
                                                                         {Key("scale"), Field::scale},
                                                                         {Key("rotation"), Field::rotation},
                                                                         {Key("opacity"), Field::opacity}}};
    ClipTransform t;
    unsigned seen = 0;
    for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
        const QString key = it.key();
        const auto field = std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return key == f.first; });
        if (field == fields.end()) continue;
        const unsigned bit = 1u << field->second;
        const auto number = JsonReader::asNumber(it.value());
        if (!number || (seen & bit) != 0) return std::nullopt;
        seen |= bit;
        t.setValue(field->second, *number);
    }
    if (seen != 0x1f) return std::nullopt;
    return t;
}

// The clip record from one pass over the object's members: a key looked up by name costs more
// than the whole walk, and no error path is put together. Gives nothing when anything is not as
// a good file has it; the caller then reads the clip again with decodeClip(), which throws the
// error of the first failing key in the decoding order. What this accepts, decodeClip() accepts
// with the same record: each value passes the same test and is read by the same function.
std::optional<PlayoutProject::ClipRecord> quickClip(const QJsonObject& object) {
    PlayoutProject::ClipRecord clip;
    enum : unsigned { path = 1, displayName = 2 };
    unsigned required = 0;
    for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        // Null counts as absent for the optional keys; a required key must be a string.
        auto text = [&](QString& out, unsigned bit) {
            if (!value.isString() || (required & bit) != 0) return false;
            required |= bit;
            out = value.toString();
            return true;
        };
        auto integer = [&](std::optional<qint64>& out) {
            if (value.isNull()) return true;
            out = JsonReader::asInteger(value);
            return out.has_value();
        };
        auto number = [&](std::optional<double>& out) {
            if (value.isNull()) return true;
            out = JsonReader::asNumber(value);
            return out.has_value();
        };
        bool ok = true;
        if (key == Key("path")) {
            ok = text(clip.path, path);
        } else if (key == Key("displayName")) {
            ok = text(clip.displayName, displayName);
        } else if (key == Key("pixelWidth")) {
            ok = integer(clip.pixelWidth);
        } else if (key == Key("pixelHeight")) {
            ok = integer(clip.pixelHeight);
        } else if (key == Key("motion")) {
            if (!value.isNull()) {
                clip.motion = value.isString() ? MotionKind::fromRawValue(value.toString()) : std::nullopt;
                ok = clip.motion.has_value();
            }
        } else if (key == Key("motionDuration")) {
            ok = number(clip.motionDuration);
        } else if (key == Key("transform")) {
            if (!value.isNull()) {
                clip.transform = value.isObject() ? quickTransform(value.toObject()) : std::nullopt;
                ok = clip.transform.has_value();
            }
        } else if (key == Key("loopCount")) {
            ok = integer(clip.loopCount);
        } else if (key == Key("contentAnchorX")) {
            ok = number(clip.contentAnchorX);
        } else if (key == Key("contentAnchorY")) {
            ok = number(clip.contentAnchorY);
        }
        if (!ok) return std::nullopt;
    }
    if (required != (path | displayName)) return std::nullopt;
    return clip;
}

PlayoutProject::GroupRecord decodeGroup(const JsonReader& json) {
    PlayoutProject::GroupRecord group;
    group.name = json.string(Key("name"));
    group.selectedIndex = json.integer(Key("selectedIndex"));
    const QJsonArray clips = json.array(Key("clips"));
    group.clips.reserve(clips.size());
    for (qsizetype i = 0; i < clips.size(); ++i) {
        const QJsonValue value = clips.at(i);
        std::optional<PlayoutProject::ClipRecord> clip;
        if (value.isObject()) clip = quickClip(value.toObject());
        // The strict reading, for its error (or, should the quick one ever refuse a good clip,
        // for the record).
        if (!clip) clip = decodeClip(JsonReader::element(value, json.pathOf(Key("clips")), i));
        group.clips.append(std::move(*clip));
    }
    if (auto markers = json.optionalArray(Key("markers"))) {
        QList<PlayoutProject::MarkerRecord> list;
        list.reserve(markers->size());
        const QString markersPath = json.pathOf(Key("markers"));
        for (qsizetype i = 0; i < markers->size(); ++i) {
            const JsonReader m = JsonReader::element(markers->at(i), markersPath, i);
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

namespace {

bool fileMissing(const QString& path) { return path.isEmpty() || !QFileInfo::exists(path); }

Clip clipFrom(const PlayoutProject::ClipRecord& record, const QUuid& id, bool isMissing) {
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
        .isMissing = isMissing,
        .unreadableReason = std::nullopt,
        .loopCount = record.loopCount ? static_cast<int>(std::clamp<qint64>(*record.loopCount, 0, 10000)) : 1,
        .contentAnchorX = anchor(record.contentAnchorX),
        .contentAnchorY = anchor(record.contentAnchorY),
        .transform = transform,
        .motion = record.motion,
        .motionDuration = motionDuration,
    };
}

// Runs work(begin, end) over 0..<count in slices, on up to four threads (this one among them)
// when there are at least 512 items; each file look on a network volume is a round trip, and
// 10000 of them in a row take long.
void inSlices(size_t count, const std::function<void(size_t, size_t)>& work) {
    const size_t threads = count < 512 ? 1 : std::min<size_t>(4, std::max(1u, std::thread::hardware_concurrency()));
    const size_t chunk = (count + threads - 1) / threads;
    std::vector<std::thread> workers;
    for (size_t t = 1; t < threads; ++t) {
        workers.emplace_back(work, std::min(count, t * chunk), std::min(count, (t + 1) * chunk));
    }
    work(0, std::min(count, chunk));
    for (auto& worker : workers) worker.join();
}

// The folder part of a path, when clips in one folder may be settled by a look at the folder:
// absolute paths below the root, without a NUL (which the file system calls refuse, with a
// warning of their own for each path).
std::optional<QStringView> folderOf(QStringView path) {
    if (!path.startsWith(u'/') || path.contains(QChar(0))) return std::nullopt;
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash <= 0) return std::nullopt;
    return path.first(slash);
}

// For each record, whether its file is missing: the same answer as fileMissing() at this moment,
// with fewer looks at the file system. A path that appears more than once is looked at once.
// When the first file looked at in a folder of several is missing, the folder is looked at too:
// a path is resolved one folder at a time, so nothing can be found inside a folder that cannot
// be found itself (whatever the reason: absent, not a folder, a dangling link, no permission on
// the way), and its other files are missing without a look each. A project opened where its
// media volume is not mounted thus costs one look per folder, not one per clip.
std::vector<char> missingFiles(const std::vector<const PlayoutProject::ClipRecord*>& records) {
    // Distinct paths, in the order first seen; slotOf[i] is record i's.
    std::vector<qsizetype> slotOf(records.size());
    std::vector<QStringView> paths;
    {
        QHash<QStringView, qsizetype> seen;
        seen.reserve(static_cast<qsizetype>(records.size()));
        for (size_t i = 0; i < records.size(); ++i) {
            qsizetype& slot = seen[QStringView(records[i]->path)];  // 0: new; else index + 1
            if (slot == 0) {
                paths.push_back(records[i]->path);
                slot = static_cast<qsizetype>(paths.size());
            }
            slotOf[i] = slot - 1;
        }
    }

    // The folders of the distinct paths (consecutive paths mostly share one).
    struct Folder {
        QStringView path;
        size_t firstFile = 0;
        size_t files = 0;
        bool gone = false;
    };
    std::vector<Folder> folders;
    std::vector<qsizetype> folderIndex(paths.size(), -1);
    {
        QHash<QStringView, qsizetype> index;
        QStringView last;
        qsizetype lastIndex = -1;
        for (size_t p = 0; p < paths.size(); ++p) {
            const auto folder = folderOf(paths[p]);
            if (!folder) continue;
            if (lastIndex < 0 || *folder != last) {
                qsizetype& slot = index[*folder];  // 0: new; else index + 1
                if (slot == 0) {
                    folders.push_back({*folder, p});
                    slot = static_cast<qsizetype>(folders.size());
                }
                last = *folder;
                lastIndex = slot - 1;
            }
            folderIndex[p] = lastIndex;
            ++folders[static_cast<size_t>(lastIndex)].files;
        }
    }

    // 0 not looked at yet, 1 there, 2 missing.
    std::vector<char> state(paths.size(), 0);
    auto look = [&](size_t p) { state[p] = fileMissing(paths[p].toString()) ? 2 : 1; };
    std::vector<size_t> shared;  // the folders of several files
    for (size_t f = 0; f < folders.size(); ++f) {
        if (folders[f].files > 1) shared.push_back(f);
    }
    inSlices(shared.size(), [&](size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) {
            Folder& folder = folders[shared[k]];
            look(folder.firstFile);
            if (state[folder.firstFile] == 2) folder.gone = !QFileInfo::exists(folder.path.toString());
        }
    });
    std::vector<size_t> toLook;
    for (size_t p = 0; p < paths.size(); ++p) {
        if (state[p] != 0) continue;
        if (folderIndex[p] >= 0 && folders[static_cast<size_t>(folderIndex[p])].gone) {
            state[p] = 2;
        } else {
            toLook.push_back(p);
        }
    }
    inSlices(toLook.size(), [&](size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) look(toLook[k]);
    });

    std::vector<char> missing(records.size());
    for (size_t i = 0; i < records.size(); ++i) missing[i] = state[static_cast<size_t>(slotOf[i])] == 2;
    return missing;
}

}  // namespace

Clip PlayoutProject::makeClip(const ClipRecord& record) { return makeClip(record, freshId()); }

Clip PlayoutProject::makeClip(const ClipRecord& record, const QUuid& id) {
    return clipFrom(record, id, fileMissing(record.path));
}

QList<ClipGroup> PlayoutProject::makeGroups() const {
    // The tabs first, each with a place for every clip; the clips are then made in their places.
    const Clip placeholder{.id = QUuid()};  // a default-made Clip would draw an id for nothing
    std::vector<const ClipRecord*> records;
    records.reserve(static_cast<size_t>(clipCount()));
    QList<ClipGroup> result;
    result.reserve(groups.size());
    for (const GroupRecord& record : groups) {
        ClipGroup group{.id = freshId(), .name = record.name};
        group.clips = QList<Clip>(record.clips.size(), placeholder);
        for (const ClipRecord& clip : record.clips) records.push_back(&clip);
        const qint64 count = record.clips.size();
        for (const MarkerRecord& marker : record.markers.value_or(QList<MarkerRecord>())) {
            if (marker.position < 0 || marker.position > count) continue;
            group.markers.append(Marker{.id = freshId(), .position = static_cast<int>(marker.position), .name = marker.name});
        }
        std::stable_sort(group.markers.begin(), group.markers.end(),
                         [](const Marker& a, const Marker& b) { return a.position < b.position; });
        group.selectedIndex = static_cast<int>(std::clamp<qint64>(record.selectedIndex, 0, count));
        result.append(std::move(group));
    }
    std::vector<Clip*> places;
    places.reserve(records.size());
    for (ClipGroup& group : result) {
        Clip* const first = group.clips.data();
        for (qsizetype i = 0; i < group.clips.size(); ++i) places.push_back(first + i);
    }

    const std::vector<char> missing = missingFiles(records);
    // All the ids' randomness in one draw: one system call, not one per clip.
    std::vector<quint64> random(records.size() * 2);
    QRandomGenerator::global()->fillRange(random.data(), random.size());
    inSlices(records.size(), [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            *places[i] = clipFrom(*records[i], uuidFromRandom(&random[2 * i]), missing[i] != 0);
        }
    });
    return result;
}

}  // namespace velmar
