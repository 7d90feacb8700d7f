#include "models/canvas_format.h"
#include "models/clip.h"
#include "models/clip_transform.h"
#include "models/frame_rate.h"
#include "models/json_decoding.h"
#include "models/key_alpha_mode.h"
#include "models/motion_kind.h"
#include "models/preview_background.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace velmar {
namespace {

// Encodes to compact JSON text and decodes that text again, as a project file does. A value
// that is not an object is wrapped in an array for the trip.
template <typename T>
T roundTrip(const T& value) {
    const QJsonValue json = value.toJson();
    const QByteArray bytes = QJsonDocument(QJsonArray{json}).toJson(QJsonDocument::Compact);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << bytes.constData();
    return T::fromJson(doc.array().at(0));
}

// Decodes `text` (one JSON value) with `decode`. Whether the text does not parse or the value
// does not decode, the result is the same: an error, never a crash or a value.
enum class Outcome { decoded, rejected };
Outcome decodeText(const QByteArray& text, const std::function<void(const QJsonValue&)>& decode) {
    const QJsonDocument doc = QJsonDocument::fromJson("[" + text + "]");
    if (!doc.isArray() || doc.array().size() != 1) return Outcome::rejected;
    try {
        decode(doc.array().at(0));
        return Outcome::decoded;
    } catch (const JsonDecodingError& error) {
        EXPECT_FALSE(error.message().isEmpty());
        return Outcome::rejected;
    }
}

TEST(JsonCodingTest, RoundTrips) {
    for (const CanvasFormat& f : CanvasFormat::presets()) EXPECT_EQ(roundTrip(f), f);
    const CanvasFormat custom{1, 1, QStringLiteral("カスタム \"quoted\"\n")};
    EXPECT_EQ(roundTrip(custom), custom);

    // Integers beyond 2^53 are kept exactly.
    const FrameRate large{(qint64(1) << 53) + 1, std::numeric_limits<qint64>::max()};
    EXPECT_EQ(roundTrip(large), large);

    const ClipTransform transforms[] = {
        {-2, 2, 0.05, -180, 0},
        {0.1, -0.30000000000000004, 4096, 179.99999999999997, 0.123456789012345678},
        {1e-300, -1e300, 5e-324, 0, 1},
    };
    for (const ClipTransform& t : transforms) EXPECT_EQ(roundTrip(t), t);
}

TEST(JsonCodingTest, ExactKeysAndDeterministicText) {
    auto text = [](const QJsonObject& o) {
        return QJsonDocument(o).toJson(QJsonDocument::Compact);
    };
    EXPECT_EQ(text(CanvasFormat().toJson()), R"({"height":1080,"name":"HD 1080","width":1920})");
    EXPECT_EQ(text(FrameRate().toJson()), R"({"frameDuration":1001,"timeScale":60000})");
    EXPECT_EQ(text(ClipTransform{0.5, -0.25, 2, 90, 0.75}.toJson()),
              R"({"offsetX":0.5,"offsetY":-0.25,"opacity":0.75,"rotation":90,"scale":2})");
}

// Stored files name the cases by these texts: every one is written out here, in case order, and
// each reads back as its case.
template <typename T>
void expectRawValues(const char* literal) {
    QStringList raws;
    for (T value : T::allCases()) {
        raws << value.rawValue();
        EXPECT_EQ(T::fromRawValue(value.rawValue()), value) << value.rawValue().toStdString();
        if constexpr (requires { T::fromJson(value.toJson()); }) {
            EXPECT_EQ(value.toJson(), QJsonValue(value.rawValue()));
            EXPECT_EQ(T::fromJson(value.toJson()), value);
        }
    }
    EXPECT_EQ(raws.join(QLatin1Char(',')), QLatin1String(literal));
}

TEST(JsonCodingTest, EveryRawValueIsPinned) {
    expectRawValues<MotionKind>("cut,fade,slideLeft,slideRight,slideUp,slideDown,zoom,dive,rotate");
    expectRawValues<KeyAlphaMode>("straight,premultiplied");
    expectRawValues<PreviewBackground>("checker,black");
    expectRawValues<Clip::Kind>("still,movie");
    expectRawValues<ClipTransform::Field>("offsetX,offsetY,scale,rotation,opacity");
}

TEST(JsonCodingTest, NonFiniteTransformFieldsAreWrittenAsTheirIdentityValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const ClipTransform t{nan, -inf, inf, nan, nan};
    // Written as null, such a document could never be read back.
    EXPECT_EQ(roundTrip(t), ClipTransform::identity());
    EXPECT_EQ(roundTrip(ClipTransform{nan, 0.5, nan, 30, 0.25}),
              (ClipTransform{0, 0.5, 1, 30, 0.25}));
}

TEST(JsonCodingTest, IntegralNumbersWrittenWithAFractionDecodeAndNullIsAbsent) {
    EXPECT_EQ(
        CanvasFormat::fromJson(
            QJsonDocument::fromJson(R"({"width":1920.0,"height":1.08e3,"name":"x"})").object()),
        (CanvasFormat{1920, 1080, QStringLiteral("x")}));
    const QJsonObject o = QJsonDocument::fromJson(R"({"a":null,"b":0})").object();
    EXPECT_FALSE(json::optional(o, "a"));
    EXPECT_EQ(json::optional(o, "b"), QJsonValue(0));
    EXPECT_THROW(json::require(o, "a"), JsonDecodingError);
}

using Decoder = std::function<void(const QJsonValue&)>;
const Decoder decodeCanvas = [](const QJsonValue& v) { CanvasFormat::fromJson(v); };
const Decoder decodeRate = [](const QJsonValue& v) { FrameRate::fromJson(v); };
const Decoder decodeTransform = [](const QJsonValue& v) { ClipTransform::fromJson(v); };

// Missing keys, wrong types, fractions, numbers out of range or not finite, other shapes.
TEST(JsonCodingTest, MalformedValuesAreRejected) {
    const std::pair<const Decoder*, const char*> cases[] = {
        {&decodeCanvas, R"({"width":1920,"height":1080})"},
        {&decodeCanvas, R"({"width":"1920","height":1080,"name":"n"})"},
        {&decodeCanvas, R"({"width":1920.5,"height":1080,"name":"n"})"},
        {&decodeCanvas, R"({"width":1e400,"height":1080,"name":"n"})"},
        {&decodeCanvas, R"({"width":3000000000,"height":1080,"name":"n"})"},
        {&decodeCanvas, R"({"width":1920,"height":1080,"name":7})"},
        {&decodeCanvas, R"([1920,1080,"n"])"},
        {&decodeCanvas, R"(null)"},
        {&decodeRate, R"({"timeScale":60000})"},
        {&decodeRate, R"({"timeScale":60000.5,"frameDuration":1001})"},
        {&decodeRate, R"({"timeScale":1e19,"frameDuration":1})"},
        {&decodeRate, R"({"timeScale":-1e19,"frameDuration":1})"},
        {&decodeRate, R"(60)"},
        {&decodeTransform, R"({"offsetX":0,"offsetY":0,"scale":1,"rotation":0})"},
        {&decodeTransform, R"({"offsetX":0,"offsetY":0,"scale":1,"rotation":0,"opacity":"1"})"},
        {&decodeTransform, R"({"offsetX":0,"offsetY":0,"scale":1e400,"rotation":0,"opacity":1})"},
        {&decodeTransform, R"([0,0,1,0,1])"},
    };
    for (const auto& [decode, text] : cases)
        EXPECT_EQ(decodeText(text, *decode), Outcome::rejected) << text;
    // Sizes are checked by the project loader, not here; unknown keys are ignored.
    EXPECT_EQ(decodeText(R"({"width":0,"height":-5,"name":"","extra":1})", decodeCanvas),
              Outcome::decoded);

    // Values built in memory rather than parsed can hold what JSON text cannot.
    for (double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        QJsonObject o = ClipTransform::identity().toJson();
        o[QStringLiteral("scale")] = bad;
        EXPECT_THROW(ClipTransform::fromJson(o), JsonDecodingError);
        QJsonObject c = CanvasFormat().toJson();
        c[QStringLiteral("width")] = bad;
        EXPECT_THROW(CanvasFormat::fromJson(c), JsonDecodingError);
    }
}

// One decoding function serves every enumeration; its table is checked above.
TEST(JsonCodingTest, UnknownOrMistypedEnumerationValues) {
    const Decoder decode = [](const QJsonValue& v) { MotionKind::fromJson(v); };
    for (const char* text : {R"("")", R"("Fade")", R"(" fade")", R"(0)", R"(null)", R"(["fade"])"})
        EXPECT_EQ(decodeText(text, decode), Outcome::rejected) << text;
    try {
        KeyAlphaMode::fromJson(QJsonValue(QStringLiteral("STRAIGHT")));
        ADD_FAILURE() << "decoded";
    } catch (const JsonDecodingError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("unknown keyAlphaMode \"STRAIGHT\""));
    }
}

}  // namespace
}  // namespace velmar
