// Feeds the project decoder thousands of documents with values mutated (fixed seed, so a failure
// repeats) and checks that it never crashes or hangs, that whatever it accepts comes out of
// makeGroups() inside every bound, and that it reads (or refuses, with the same error) exactly as
// the strict decoding does, also for texts with single bytes changed.
#include "models/json_decoding.h"
#include "models/playout_project.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <typeinfo>

namespace velmar {
namespace {

const char* base = R"({
 "formatVersion": 10, "fadeDuration": 0.5, "autoAdvance": true, "audioEnabled": true,
 "unpremultiplyAlpha": false, "keyAlphaMode": "straight", "defaultMotion": "fade",
 "canvas": {"width": 1920, "height": 1080, "name": "HD 1080"},
 "frameRate": {"timeScale": 60000, "frameDuration": 1001},
 "dsk": {"paths": ["/k/a.png", "/k/b.mov"], "selectedIndex": 1, "loops": false},
 "groups": [
  {"name": "A", "selectedIndex": 2, "markers": [{"position": 1, "name": "M"}, {"position": 0, "name": "N"}],
   "clips": [
    {"path": "/m/a.png", "displayName": "a", "pixelWidth": 1920, "pixelHeight": 1080, "motion": "cut",
     "motionDuration": 1.5, "loopCount": 3, "contentAnchorX": 0.25, "contentAnchorY": -0.5,
     "transform": {"offsetX": 0.1, "offsetY": -0.2, "scale": 1.5, "rotation": 30, "opacity": 0.5}},
    {"path": "/m/b.mov", "displayName": "b"}]},
  {"name": "B", "selectedIndex": 0, "clips": []}]
})";

// Values put in place of others, separated by blanks.
const QList<QByteArray> replacements =
    QByteArray(R"(0 -1 1 1.5 -0.0 1e308 -1e308 1e400 9223372036854775807 9223372036854775808 )"
               R"(-9223372036854775809 16385 NaN "x" null true [] {} [1,2] {"a":1} "fade" 1e-320 )"
               R"(4096 2160 10001)")
        .split(' ');

QJsonValue randomValue(std::mt19937& rng) {
    const QByteArray& r = replacements[static_cast<qsizetype>(rng() % replacements.size())];
    const QJsonDocument doc = QJsonDocument::fromJson("[" + r + "]");
    return doc.isArray() ? doc.array().at(0) : QJsonValue();
}

// Replaces (or removes, or repeats) one randomly chosen value somewhere in the tree.
QJsonValue mutateTree(const QJsonValue& value, std::mt19937& rng, int depth) {
    const bool container = value.isObject() || value.isArray();
    if (!container || depth >= 6 || rng() % 4 == 0) return randomValue(rng);
    if (value.isObject()) {
        QJsonObject o = value.toObject();
        if (o.isEmpty()) return randomValue(rng);
        const QString key = o.keys().at(static_cast<qsizetype>(rng() % o.size()));
        if (rng() % 8 == 0)
            o.remove(key);
        else
            o.insert(key, mutateTree(o.value(key), rng, depth + 1));
        return o;
    }
    QJsonArray a = value.toArray();
    if (a.isEmpty()) return randomValue(rng);
    const auto i = static_cast<qsizetype>(rng() % a.size());
    if (rng() % 8 == 0)
        a.append(a.at(i));
    else
        a.replace(i, mutateTree(a.at(i), rng, depth + 1));
    return a;
}

bool in(double value, double low, double high) {
    return value >= low && value <= high;
}
template <typename T>
bool in(const std::optional<T>& value, double low, double high) {
    return !value || in(static_cast<double>(*value), low, high);
}

void expectBounded(const PlayoutProject& project) {
    PlayoutProject::checkLimits(project);  // may throw LoadError: fine
    for (const ClipGroup& group : project.makeGroups()) {
        ASSERT_TRUE(in(group.selectedIndex, 0, group.clips.size()));
        int last = 0;
        for (const Marker& marker : group.markers) {
            ASSERT_TRUE(in(marker.position, last, group.clips.size()));
            last = marker.position;
        }
        for (const Clip& c : group.clips) {
            const ClipTransform& t = c.transform;
            ASSERT_TRUE(in(c.pixelWidth, 1, 16384) && in(c.pixelHeight, 1, 16384) &&
                        in(c.motionDuration, 0.1, 5) && in(c.loopCount, 0, 10000) &&
                        in(c.contentAnchorX, -1, 1) && in(c.contentAnchorY, -1, 1) &&
                        in(t.offsetX, -2, 2) && in(t.offsetY, -2, 2) && in(t.scale, 0.05, 4096) &&
                        in(t.rotation, -180, 180) && in(t.opacity, 0, 1));
        }
    }
}

// The record, or the error's type and message.
std::pair<std::optional<PlayoutProject>, std::string> outcome(
    PlayoutProject (*decode)(const QByteArray&), const QByteArray& json) {
    try {
        return {decode(json), {}};
    } catch (const std::exception& error) {
        return {std::nullopt, std::string(typeid(error).name()) + ": " + error.what()};
    }
}

void expectSameAsStrict(const QByteArray& json) {
    const auto quick = outcome(PlayoutProject::decode, json);
    const auto strict = outcome(PlayoutProject::decodeStrictly, json);
    ASSERT_EQ(quick.first.has_value(), strict.first.has_value()) << json.toStdString();
    if (quick.first) {
        ASSERT_TRUE(*quick.first == *strict.first) << json.toStdString();
    } else {
        ASSERT_EQ(quick.second, strict.second) << json.toStdString();
    }
}

void feed(const QByteArray& json, int& accepted) {
    expectSameAsStrict(json);
    if (::testing::Test::HasFatalFailure()) return;
    try {
        const PlayoutProject project = PlayoutProject::decode(json);
        ++accepted;
        expectBounded(project);
        // What was accepted can be written, and reading that back writes the same bytes.
        const auto again = project.encoded(PlayoutProject::Encoding::compact);
        ASSERT_TRUE(again.has_value());
        ASSERT_EQ(PlayoutProject::decode(*again).encoded(PlayoutProject::Encoding::compact), again);
    } catch (const JsonDecodingError&) {
    } catch (const PlayoutProject::LoadError&) {
    }
}

TEST(ProjectDecoderFuzzTest, MutatedDocumentsNeverEscapeTheBounds) {
    std::mt19937 rng(20261206);
    const QJsonObject original = QJsonDocument::fromJson(base).object();
    ASSERT_FALSE(original.isEmpty());
    int accepted = 0;
    for (int i = 0; i < 3000; ++i) {
        const QJsonValue mutated = mutateTree(original, rng, 0);
        feed(QJsonDocument(mutated.toObject()).toJson(QJsonDocument::Compact), accepted);
        if (HasFatalFailure()) return;
    }
    // The mutations must reach the checks after decoding, not only the parser.
    EXPECT_GT(accepted, 500) << accepted;

    // Single bytes of the indented text replaced, inserted or removed.
    const QByteArray text = QJsonDocument(original).toJson(QJsonDocument::Indented);
    const QByteArray bytes = QByteArray("\"\\,:{}[] 0-.eEu9n\t") + "\xc3\xa9\xff\xed\xa0\x80";
    for (int i = 0; i < 4000; ++i) {
        QByteArray json = text;
        const auto at = static_cast<qsizetype>(rng() % json.size());
        const char byte = bytes[static_cast<qsizetype>(rng() % bytes.size())];
        switch (rng() % 3) {
            case 0:
                json[at] = byte;
                break;
            case 1:
                json.insert(at, byte);
                break;
            default:
                json.remove(at, 1);
        }
        expectSameAsStrict(json);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace velmar
