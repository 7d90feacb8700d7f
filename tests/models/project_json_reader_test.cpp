#include "models/project_json_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

namespace velmar {
namespace {

// The record, or the error's type and message.
std::pair<std::optional<PlayoutProject>, std::string> decodeOutcome(
    PlayoutProject (*decode)(const QByteArray&), const QByteArray& json) {
    try {
        return {decode(json), {}};
    } catch (const std::exception& error) {
        return {std::nullopt, std::string(typeid(error).name()) + ": " + error.what()};
    }
}

// Each text is read quickly or left to the strict decoding as the row says, and decode() gives
// what the strict decoding gives: the same record, or the same error.
TEST(ProjectJsonReaderTest, TakesWhatASavedFileHasAndReadsItAsTheStrictDecoding) {
    const struct {
        const char* members;  // of a clip, or with a leading '!', of the whole document
        bool taken;
    } rows[] = {
        {R"("path":"/a\"b\\c\/d\b\f\n\r\t","displayName":"x")", true},
        {R"("path":"\u00e9\u6f22\u0000\u001f","displayName":"x")", true},
        {"\"path\":\"\xc3\xa9\xe6\xbc\xa2\xf0\x9f\x8e\xac\",\"displayName\":\"x\"", true},
        {R"("path":"\ud83c\udfac","displayName":"x")", false},
        {R"("path":"\udfac","displayName":"x")", false},
        {"\"path\":\"\xff\",\"displayName\":\"x\"", false},
        {"\"path\":\"\xed\xa0\x80\",\"displayName\":\"x\"", false},
        {"\"path\":\"a\tb\",\"displayName\":\"x\"", false},
        {R"("path":"a","displayName":"x","pixelWidth":-0,"pixelHeight":null,"loopCount":0)", true},
        {R"("path":"a","displayName":"x","pixelWidth":1.0)", false},
        {R"("path":"a","displayName":"x","loopCount":1234567890123456789)", false},
        {R"("path":"a","displayName":"x","motionDuration":1e2,"contentAnchorX":-0.0)", true},
        {R"("path":"a","displayName":"x","contentAnchorY":1E-2,"motion":null)", true},
        {R"("path":"a","displayName":"x","motionDuration":1e400)", false},
        {R"("path":"a","displayName":"x","motionDuration":01)", false},
        {R"("path":"a","displayName":"x","motionDuration":.5)", false},
        {R"("path":"a","displayName":"x","path":"b")", false},
        {R"("path":"a","displayName":"x","extra":[1])", false},
        {R"("path":"a","displayName":"x","motion":"spin")", false},
        {R"("path":"a","displayName":"x","motion":"cut")", true},
        {R"("path":"a","displayName":"x","transform":{"offsetX":0,"offsetY":-1,"scale":2,"rotation":9,"opacity":1})",
         true},
        {R"("path":"a","displayName":"x","transform":{"offsetX":0,"offsetY":0,"scale":2,"rotation":0})",
         false},
        {R"("displayName":"x")", false},
        {R"(!"groups":null,"fadeDuration":2)", true},
        {R"(!"groups":[],"groups":[])", false},
        {R"(!"groups":[],"canvas":{"width":1,"height":1,"name":"a\u00e9"}} x)", false},
    };
    for (const auto& row : rows) {
        const QByteArray members(row.members);
        const QByteArray json =
            members.startsWith('!')
                ? "{" + members.mid(1) + "}"
                : R"({"groups":[{"name":"A","selectedIndex":0,"markers":[{"name":"M","position":1}],"clips":[{)" +
                      members + "}]}]}";
        EXPECT_EQ(ProjectJsonReader::read(json).has_value(), row.taken) << row.members;
        const auto quick = decodeOutcome(PlayoutProject::decode, json);
        const auto strict = decodeOutcome(PlayoutProject::decodeStrictly, json);
        EXPECT_EQ(quick.second, strict.second) << row.members;
        EXPECT_TRUE(quick.first == strict.first) << row.members;
    }
}

}  // namespace
}  // namespace velmar
