#include "models/playout_project.h"

#include "models/json_reader.h"
#include "models/localized.h"
#include "models/project_crypto.h"
#include "models/project_json_reader.h"
#include "models/project_json_writer.h"
#include "platform/base/regular_file.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace velmar {

namespace {

using Key = QLatin1StringView;

QString indexed(const QString& path, qsizetype index) {
    return path + QStringLiteral("[%1]").arg(index);
}

// --- Encoding ---

// The fields of each record, in the sorted key order of the file, and which of them the
// comparison form keeps: the one description both forms are written from. The comparison form
// (behind "unsaved changes") leaves out the selection (written as 0) and what measuring a clip's
// file fills in (pixel sizes, content anchors), so neither makes a project unsaved.
class RecordWriter {
  public:
    RecordWriter(ProjectJsonWriter& out, bool comparison) : out_(out), comparison_(comparison) {}

    void field(std::string_view key, const QString& value) {
        out_.key(key);
        out_.string(value);
    }
    void field(std::string_view key, qint64 value) {
        out_.key(key);
        out_.integer(value);
    }
    void field(std::string_view key, double value) {
        out_.key(key);
        out_.number(value);
    }
    void field(std::string_view key, bool value) {
        out_.key(key);
        out_.boolean(value);
    }
    template <class T>
    void field(std::string_view key, const std::optional<T>& value) {
        if (value) field(key, *value);
    }
    // A value found by measuring a clip's file: in the file only.
    template <class T>
    void measured(std::string_view key, const T& value) {
        if (!comparison_) field(key, value);
    }
    // A selection: 0 in the comparison form.
    void selection(std::string_view key, qint64 value) { field(key, comparison_ ? 0 : value); }
    // A member holding an object or an array, written by `members`.
    template <class F>
    void object(std::string_view key, F&& members) {
        out_.key(key);
        out_.beginObject();
        members();
        out_.endObject();
    }
    template <class List, class F>
    void array(std::string_view key, const List& list, F&& element) {
        out_.key(key);
        out_.beginArray();
        for (const auto& item : list) element(item);
        out_.endArray();
    }
    // An element of an array: an object written by `members`, or a string.
    template <class F>
    void objectItem(F&& members) {
        out_.beginObject();
        members();
        out_.endObject();
    }
    void stringItem(const QString& text) { out_.string(text); }

  private:
    ProjectJsonWriter& out_;
    bool comparison_;
};

void transformFields(RecordWriter& w, const ClipTransform& t) {
    // Field by field: a non-finite field fails the encoding, it does not turn into a value.
    w.field("offsetX", t.offsetX);
    w.field("offsetY", t.offsetY);
    w.field("opacity", t.opacity);
    w.field("rotation", t.rotation);
    w.field("scale", t.scale);
}

void clipFields(RecordWriter& w, const PlayoutProject::ClipRecord& clip) {
    w.measured("contentAnchorX", clip.contentAnchorX);
    w.measured("contentAnchorY", clip.contentAnchorY);
    w.field("displayName", clip.displayName);
    if (clip.loopCount && *clip.loopCount != 1) w.field("loopCount", *clip.loopCount);
    if (clip.motion) w.field("motion", clip.motion->rawValue());
    w.field("motionDuration", clip.motionDuration);
    w.field("path", clip.path);
    w.measured("pixelHeight", clip.pixelHeight);
    w.measured("pixelWidth", clip.pixelWidth);
    if (clip.transform && !(*clip.transform == ClipTransform::identity()))
        w.object("transform", [&] { transformFields(w, *clip.transform); });
}

void groupFields(RecordWriter& w, const PlayoutProject::GroupRecord& group) {
    w.array("clips", group.clips,
            [&](const auto& clip) { w.objectItem([&] { clipFields(w, clip); }); });
    // Always present, also when empty.
    static const QList<PlayoutProject::MarkerRecord> none;
    w.array("markers", group.markers ? *group.markers : none, [&](const auto& marker) {
        w.objectItem([&] {
            w.field("name", marker.name);
            w.field("position", marker.position);
        });
    });
    w.field("name", group.name);
    w.selection("selectedIndex", group.selectedIndex);
}

void projectFields(RecordWriter& w, const PlayoutProject& project) {
    w.field("audioEnabled", project.audioEnabled);
    w.field("autoAdvance", project.autoAdvance);
    w.object("canvas", [&] {
        w.field("height", qint64(project.canvas.height));
        w.field("name", project.canvas.name);
        w.field("width", qint64(project.canvas.width));
    });
    w.field("defaultMotion", project.defaultMotion.rawValue());
    if (const auto& dsk = project.dsk) {
        w.object("dsk", [&] {
            w.field("loops", dsk->loops);
            w.array("paths", dsk->paths, [&](const QString& path) { w.stringItem(path); });
            w.selection("selectedIndex", dsk->selectedIndex);
        });
    }
    w.field("fadeDuration", project.fadeDuration);
    w.field("formatVersion", project.formatVersion);
    w.object("frameRate", [&] {
        w.field("frameDuration", project.frameRate.frameDuration);
        w.field("timeScale", project.frameRate.timeScale);
    });
    w.array("groups", project.groups,
            [&](const auto& group) { w.objectItem([&] { groupFields(w, group); }); });
    w.field("keyAlphaMode", project.keyAlphaMode.rawValue());
    w.field("unpremultiplyAlpha", project.unpremultiplyAlpha);
}

// --- Decoding ---

DSKRecord decodeDSK(const JsonReader& json) {
    DSKRecord record;
    if (auto paths = json.optionalArray(Key("paths"))) {
        for (qsizetype i = 0; i < paths->size(); ++i) {
            record.paths.append(
                JsonReader::toString(paths->at(i), indexed(json.pathOf(Key("paths")), i)));
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
    if (auto motion = json.optionalValue(Key("motion")))
        clip.motion = MotionKind::fromJson(*motion);
    clip.motionDuration = json.optionalNumber(Key("motionDuration"));
    if (auto t = json.optionalValue(Key("transform"))) clip.transform = ClipTransform::fromJson(*t);
    clip.loopCount = json.optionalInteger(Key("loopCount"));
    clip.contentAnchorX = json.optionalNumber(Key("contentAnchorX"));
    clip.contentAnchorY = json.optionalNumber(Key("contentAnchorY"));
    return clip;
}

// Runs work(begin, end) over 0..<count in slices: on up to four threads (this one among them)
// when `weight`, the work's size in items, is at least 512, else here at once. Each file look on
// a network volume is a round trip, and 10000 of them in a row take long. A thread that cannot be
// started leaves its slice to this one; an exception thrown in a slice reaches the caller.
void inSlices(size_t count, size_t weight, const std::function<void(size_t, size_t)>& work) {
    const size_t threads =
        weight < 512
            ? 1
            : std::min({size_t(4), size_t(std::max(1u, std::thread::hardware_concurrency())),
                        std::max(count, size_t(1))});
    const size_t chunk = (count + threads - 1) / threads;
    std::vector<std::exception_ptr> errors(threads);
    auto slice = [&](size_t t) {
        try {
            work(std::min(count, t * chunk), std::min(count, (t + 1) * chunk));
        } catch (...) {
            errors[t] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    size_t started = 1;
    try {
        for (; started < threads; ++started) workers.emplace_back(slice, started);
    } catch (const std::system_error&) {
    }
    for (size_t t = started; t < threads; ++t) slice(t);
    slice(0);
    for (auto& worker : workers) worker.join();
    for (const auto& error : errors) {
        if (error) std::rethrow_exception(error);
    }
}

// A transform object as ClipTransform::fromJson() reads it (all five fields finite numbers,
// other keys ignored), or nothing when it would fail there.
std::optional<ClipTransform> quickTransform(const QJsonObject& object) {
    using Field = ClipTransform::Field;
    static constexpr std::array<std::pair<Key, Field::Value>, 5> fields{
        {{Key("offsetX"), Field::offsetX},
         {Key("offsetY"), Field::offsetY},
         {Key("scale"), Field::scale},
         {Key("rotation"), Field::rotation},
         {Key("opacity"), Field::opacity}}};
    ClipTransform t;
    unsigned seen = 0;
    for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
        const QString key = it.key();
        const auto field = std::find_if(fields.begin(), fields.end(),
                                        [&](const auto& f) { return key == f.first; });
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
                clip.motion =
                    value.isString() ? MotionKind::fromRawValue(value.toString()) : std::nullopt;
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

// The strict reading of a group, which throws the error of the first key that fails.
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
            const JsonReader m =
                JsonReader::object(markers->at(i), indexed(json.pathOf(Key("markers")), i));
            list.append({m.integer(Key("position")), m.string(Key("name"))});
        }
        group.markers = std::move(list);
    }
    return group;
}

// Everything of a group but its clips, as decodeGroup() reads it, and the clip array; nothing
// when decodeGroup() would fail for anything but a clip.
std::optional<std::pair<PlayoutProject::GroupRecord, QJsonArray>> quickGroup(
    const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    PlayoutProject::GroupRecord group;
    const QJsonValue name = object.value(Key("name"));
    const auto selectedIndex = JsonReader::asInteger(object.value(Key("selectedIndex")));
    const QJsonValue clips = object.value(Key("clips"));
    if (!name.isString() || !selectedIndex || !clips.isArray()) return std::nullopt;
    group.name = name.toString();
    group.selectedIndex = *selectedIndex;
    const QJsonValue markers = object.value(Key("markers"));
    if (!markers.isUndefined() && !markers.isNull()) {
        if (!markers.isArray()) return std::nullopt;
        const QJsonArray array = markers.toArray();
        QList<PlayoutProject::MarkerRecord> list;
        list.reserve(array.size());
        for (const QJsonValue& element : array) {
            if (!element.isObject()) return std::nullopt;
            const QJsonObject marker = element.toObject();
            const auto position = JsonReader::asInteger(marker.value(Key("position")));
            const QJsonValue markerName = marker.value(Key("name"));
            if (!position || !markerName.isString()) return std::nullopt;
            list.append({*position, markerName.toString()});
        }
        group.markers = std::move(list);
    }
    return std::pair{std::move(group), clips.toArray()};
}

// The groups array, as decoding it group by group with decodeGroup() gives it, but with the
// clips of all groups read quickly on a few threads. Whatever the quick readings refuse is read
// again strictly here, in document order, so the error thrown is the one of the first value
// that fails, as before.
QList<PlayoutProject::GroupRecord> decodeGroups(const QJsonArray& array) {
    QList<PlayoutProject::GroupRecord> groups;
    groups.reserve(array.size());
    std::vector<char> strict(static_cast<size_t>(array.size()), 0);
    std::vector<QJsonArray> clipArrays(static_cast<size_t>(array.size()));
    size_t clipCount = 0;
    for (qsizetype g = 0; g < array.size(); ++g) {
        auto quick = quickGroup(array.at(g));
        if (!quick) {
            strict[static_cast<size_t>(g)] = 1;
            groups.append(PlayoutProject::GroupRecord{});
            continue;
        }
        quick->first.clips.resize(quick->second.size());
        clipCount += static_cast<size_t>(quick->second.size());
        clipArrays[static_cast<size_t>(g)] = std::move(quick->second);
        groups.append(std::move(quick->first));
    }

    // Every clip's value and the place of its record.
    struct Slot {
        qsizetype group;
        qsizetype index;
        PlayoutProject::ClipRecord* record;
    };
    std::vector<Slot> targets;
    targets.reserve(clipCount);
    for (qsizetype g = 0; g < groups.size(); ++g) {
        PlayoutProject::ClipRecord* const first = groups[g].clips.data();
        for (qsizetype i = 0; i < clipArrays[static_cast<size_t>(g)].size(); ++i)
            targets.push_back({g, i, first + i});
    }
    std::vector<char> refused(targets.size(), 0);
    inSlices(targets.size(), targets.size(), [&](size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) {
            const Slot& slot = targets[k];
            const QJsonValue value = clipArrays[static_cast<size_t>(slot.group)].at(slot.index);
            auto clip = value.isObject() ? quickClip(value.toObject()) : std::nullopt;
            if (clip) {
                *slot.record = std::move(*clip);
            } else {
                refused[k] = 1;
            }
        }
    });

    size_t k = 0;
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const auto reader = [&] {
            return JsonReader::element(array.at(g), QStringLiteral("groups"), g);
        };
        if (strict[static_cast<size_t>(g)] != 0) {
            groups[g] = decodeGroup(reader());
            continue;
        }
        const QJsonArray& clips = clipArrays[static_cast<size_t>(g)];
        for (qsizetype i = 0; i < clips.size(); ++i, ++k) {
            if (refused[k] == 0) continue;
            // The strict reading, for its error (or, should the quick one ever refuse a good
            // clip, for the record).
            *targets[k].record =
                decodeClip(JsonReader::element(clips.at(i), reader().pathOf(Key("clips")), i));
        }
    }
    return groups;
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

double bounded(double value, double low, double high) {
    return std::clamp(value, low, high);
}
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

PlayoutProject::LoadError::LoadError(Kind kind)
    : kind_(kind), message_(errorDescription().toStdString()) {}

QString PlayoutProject::LoadError::errorDescription() const {
    if (kind_ == Kind::tooLarge)
        return localized("プロジェクトが安全上限（16 MB / 素材10000件）を超えています");
    return localized("キャンバスまたはフレームレートが対応範囲外です");
}

PlayoutProject::SaveError::SaveError(Kind kind, qint64 value)
    : kind_(kind), value_(value), message_(errorDescription().toStdString()) {}

QString PlayoutProject::SaveError::errorDescription() const {
    if (kind_ == Kind::tooManyClips) {
        return localizedFormat("素材が %lld 件あります。保存できるのは %lld 件までです",
                               {FormatArg(static_cast<long long>(value_)),
                                FormatArg(static_cast<long long>(kMaxClipCount))});
    }
    const QString megabytes = QString::asprintf("%.1f", static_cast<double>(value_) / 1'048'576.0);
    return localizedFormat("プロジェクトが %@ MB になります。保存できるのは 16 MB までです",
                           {FormatArg(megabytes)});
}

// --- Project ---

PlayoutProject::PlayoutProject()
    : frameRate{60000, 1001},
      keyAlphaMode(KeyAlphaMode::straight),
      defaultMotion(MotionKind::fade) {}

qsizetype PlayoutProject::clipCount() const {
    qsizetype count = 0;
    for (const auto& group : groups) count += group.clips.size();
    return count;
}

std::optional<QByteArray> PlayoutProject::encoded(Encoding encoding) const {
    // About 200 bytes a clip indented, a little less compact.
    ProjectJsonWriter out(encoding == Encoding::pretty ? ProjectJsonWriter::Style::indented
                                                       : ProjectJsonWriter::Style::compact,
                          static_cast<std::size_t>(1024 + 256 * clipCount()));
    RecordWriter w(out, encoding == Encoding::comparison);
    out.beginObject();
    projectFields(w, *this);
    out.endObject();
    if (!out.allFinite()) return std::nullopt;
    return out.take();
}

PlayoutProject PlayoutProject::decode(const QByteArray& json) {
    // A saved file's tabs are read straight from the text, the rest the strict way; anything the
    // quick reading does not take, or a rest that fails, is decoded again as a whole, so errors
    // are those of the strict decoding.
    if (auto split = ProjectJsonReader::read(json)) {
        try {
            PlayoutProject project = decodeStrictly(split->rest);
            if (split->groups) project.groups = std::move(*split->groups);
            return project;
        } catch (const std::exception&) {
        }
    }
    return decodeStrictly(json);
}

PlayoutProject PlayoutProject::decodeStrictly(const QByteArray& json) {
    const JsonReader top = JsonReader::document(json);
    PlayoutProject project;
    if (auto dsk = top.optionalObject(Key("dsk"))) {
        project.dsk = decodeDSK(*dsk);
    } else {
        project.dsk.reset();
    }
    project.formatVersion = top.optionalInteger(Key("formatVersion")).value_or(kVersionWhenAbsent);
    if (auto v = top.optionalValue(Key("canvas"))) project.canvas = CanvasFormat::fromJson(*v);
    if (auto v = top.optionalValue(Key("frameRate"))) project.frameRate = FrameRate::fromJson(*v);
    if (auto v = top.optionalValue(Key("keyAlphaMode")))
        project.keyAlphaMode = KeyAlphaMode::fromJson(*v);
    if (auto v = top.optionalValue(Key("defaultMotion")))
        project.defaultMotion = MotionKind::fromJson(*v);
    project.fadeDuration = top.optionalNumber(Key("fadeDuration")).value_or(0.5);
    project.autoAdvance = top.optionalBool(Key("autoAdvance")).value_or(true);
    project.audioEnabled = top.optionalBool(Key("audioEnabled")).value_or(true);
    project.unpremultiplyAlpha = top.optionalBool(Key("unpremultiplyAlpha")).value_or(false);
    if (auto groups = top.optionalArray(Key("groups"))) project.groups = decodeGroups(*groups);
    return project;
}

QByteArray PlayoutProject::sealedFileData() const {
    const qsizetype count = clipCount();
    if (count > kMaxClipCount) throw SaveError(SaveError::Kind::tooManyClips, count);
    const auto json = encoded(Encoding::pretty);
    if (!json) throw JsonReader::error(QString(), QStringLiteral("a number is not finite"));
    QByteArray sealed = ProjectCrypto::seal(*json);
    if (sealed.size() > kMaxFileSize) throw SaveError(SaveError::Kind::tooLarge, sealed.size());
    return sealed;
}

void PlayoutProject::checkLimits(const PlayoutProject& project) {
    if (project.clipCount() > kMaxClipCount) throw LoadError(LoadError::Kind::tooLarge);
    const CanvasFormat& c = project.canvas;
    const bool canvasOK =
        c.width >= 1 && c.width <= 4096 && c.height >= 1 && c.height <= 2160 &&
        static_cast<double>(c.width) * static_cast<double>(c.height) <= 8'847'360.0;
    const auto& presets = FrameRate::presets();
    const bool rateOK =
        std::find(presets.begin(), presets.end(), project.frameRate) != presets.end();
    if (!canvasOK || !rateOK) throw LoadError(LoadError::Kind::invalidFormat);
}

PlayoutProject PlayoutProject::load(const QString& path) {
    // Opened without waiting and checked by its descriptor: a pipe or device at the path would
    // hold the open or the read for ever, a folder has no content, and nothing can be put in the
    // file's place between a check and the open.
    RegularFile file = RegularFile::open(path, O_RDONLY);
    if (!file.isOpen()) {
        if (file.error() == ENOENT)
            throw ReadError("The file does not exist: " + path.toStdString());
        if (file.notRegular()) throw ReadError("Not a regular file: " + path.toStdString());
        throw ReadError(file.errorString().toStdString());
    }
    struct stat st {};
    if (::fstat(file.fd(), &st) == 0 && st.st_size > kMaxFileSize)
        throw LoadError(LoadError::Kind::tooLarge);
    // Read to the limit and one byte past it: a file that grew after the size check is still
    // refused.
    bool whole = false;
    std::optional<QByteArray> read = file.read(kMaxFileSize, &whole);
    if (!read) throw ReadError(file.errorString().toStdString());
    if (!whole) throw LoadError(LoadError::Kind::tooLarge);
    QByteArray sealed = std::move(*read);
    const QByteArray plain = ProjectCrypto::open(sealed);
    sealed = QByteArray();  // not needed while the JSON is parsed
    PlayoutProject project = decode(plain);
    checkLimits(project);
    return project;
}

namespace {

bool fileMissing(const QString& path) {
    return path.isEmpty() || !QFileInfo::exists(path);
}

// Clip::kindFor() of paths, asked once for each distinct text after the last dot of the file
// name: that text is all it depends on (QFileInfo::suffix() of a local path is exactly it).
// Paths of Qt resources (":/..."), whose names the resource system reads its own way, are always
// asked. One per thread.
class KindsBySuffix {
  public:
    Clip::Kind operator()(const QString& path) {
        if (path.startsWith(u':')) return Clip::kindFor(path).value_or(Clip::Kind::still);
        const qsizetype dot = path.lastIndexOf(u'.');
        const QStringView suffix =
            dot > path.lastIndexOf(u'/') ? QStringView(path).sliced(dot + 1) : QStringView();
        for (const auto& [text, kind] : known_) {
            if (text == suffix) return kind;
        }
        const Clip::Kind kind = Clip::kindFor(path).value_or(Clip::Kind::still);
        if (known_.size() < 16) known_.emplace_back(suffix.toString(), kind);
        return kind;
    }

  private:
    std::vector<std::pair<QString, Clip::Kind>> known_;
};

Clip clipFrom(const PlayoutProject::ClipRecord& record, const QUuid& id, Clip::Kind kind,
              bool isMissing) {
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
        .kind = kind,
        .pixelWidth = pixelSize(record.pixelWidth),
        .pixelHeight = pixelSize(record.pixelHeight),
        .isMissing = isMissing,
        .unreadableReason = std::nullopt,
        .loopCount = record.loopCount
                         ? static_cast<int>(std::clamp<qint64>(*record.loopCount, 0, 10000))
                         : 1,
        .contentAnchorX = anchor(record.contentAnchorX),
        .contentAnchorY = anchor(record.contentAnchorY),
        .transform = transform,
        .motion = record.motion,
        .motionDuration = motionDuration,
    };
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
// with fewer looks at the file system. In a folder of several clips the first file is looked at,
// and when it is missing, the folder too: a path is resolved one folder at a time, so nothing can
// be found inside a folder that cannot be found itself (absent, not a folder, a dangling link, no
// permission on the way), and the folder's other clips are missing without a look each. A project
// opened where its media volume is not mounted thus costs a look or two per folder, not one per
// clip. The other paths are looked at once each, however many clips share them.
std::vector<char> missingFiles(const std::vector<const PlayoutProject::ClipRecord*>& records) {
    const size_t count = records.size();
    struct Folder {
        QStringView path;
        size_t firstRecord = 0;
        size_t records = 0;
        bool gone = false;
    };
    std::vector<Folder> folders;
    std::vector<qsizetype> folderIndex(count, -1);
    {
        QHash<QStringView, qsizetype> index;  // index + 1
        QStringView last;
        qsizetype lastIndex = -1;
        for (size_t i = 0; i < count; ++i) {
            const auto folder = folderOf(records[i]->path);
            if (!folder) continue;
            if (lastIndex < 0 || *folder != last) {  // consecutive clips mostly share a folder
                qsizetype& slot = index[*folder];
                if (slot == 0) {
                    folders.push_back({*folder, i});
                    slot = static_cast<qsizetype>(folders.size());
                }
                last = *folder;
                lastIndex = slot - 1;
            }
            folderIndex[i] = lastIndex;
            ++folders[static_cast<size_t>(lastIndex)].records;
        }
    }

    // 0 not known yet, 1 there, 2 missing.
    std::vector<char> state(count, 0);
    auto look = [&](size_t i) { state[i] = fileMissing(records[i]->path) ? 2 : 1; };
    std::vector<size_t> shared;
    for (size_t f = 0; f < folders.size(); ++f) {
        if (folders[f].records > 1) shared.push_back(f);
    }
    inSlices(shared.size(), shared.size(), [&](size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) {
            Folder& folder = folders[shared[k]];
            look(folder.firstRecord);
            if (state[folder.firstRecord] == 2)
                folder.gone = !QFileInfo::exists(folder.path.toString());
        }
    });

    std::vector<size_t> toLook;
    std::vector<std::pair<size_t, size_t>> copies;  // a record and the earlier one with its path
    QHash<QStringView, size_t> firstWithPath;       // index + 1
    for (size_t i = 0; i < count; ++i) {
        if (folderIndex[i] >= 0 && folders[static_cast<size_t>(folderIndex[i])].gone) {
            state[i] = 2;
            continue;
        }
        size_t& first = firstWithPath[QStringView(records[i]->path)];
        if (first != 0) {
            copies.emplace_back(i, first - 1);
            continue;
        }
        first = i + 1;
        if (state[i] == 0) toLook.push_back(i);
    }
    inSlices(toLook.size(), toLook.size(), [&](size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) look(toLook[k]);
    });
    for (const auto& [record, earlier] : copies) state[record] = state[earlier];
    for (char& value : state) value = value == 2;
    return state;
}

}  // namespace

Clip PlayoutProject::makeClip(const ClipRecord& record) {
    return makeClip(record, freshId());
}

Clip PlayoutProject::makeClip(const ClipRecord& record, const QUuid& id) {
    return clipFrom(record, id, Clip::kindFor(record.path).value_or(Clip::Kind::still),
                    fileMissing(record.path));
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
        for (const ClipRecord& clip : record.clips) records.push_back(&clip);
        const qint64 count = record.clips.size();
        for (const MarkerRecord& marker : record.markers.value_or(QList<MarkerRecord>())) {
            if (marker.position < 0 || marker.position > count) continue;
            group.markers.append(Marker{.id = freshId(),
                                        .position = static_cast<int>(marker.position),
                                        .name = marker.name});
        }
        std::stable_sort(group.markers.begin(), group.markers.end(),
                         [](const Marker& a, const Marker& b) { return a.position < b.position; });
        group.selectedIndex = static_cast<int>(std::clamp<qint64>(record.selectedIndex, 0, count));
        result.append(std::move(group));
    }
    // Filling the lists touches their memory for the first time: in parallel when there is much.
    ClipGroup* const made = result.data();
    inSlices(static_cast<size_t>(groups.size()), records.size(), [&](size_t begin, size_t end) {
        for (size_t g = begin; g < end; ++g)
            made[g].clips =
                QList<Clip>(groups[static_cast<qsizetype>(g)].clips.size(), placeholder);
    });
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
    inSlices(records.size(), records.size(), [&](size_t begin, size_t end) {
        KindsBySuffix kindOf;
        for (size_t i = begin; i < end; ++i) {
            const ClipRecord& record = *records[i];
            *places[i] = clipFrom(record, uuidFromRandom(&random[2 * i]), kindOf(record.path),
                                  missing[i] != 0);
        }
    });
    return result;
}

}  // namespace velmar
