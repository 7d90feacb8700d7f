#include "ui/panels/duration_pad_model.h"
#include "models/language_settings.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace velmar {
namespace {

struct PadCase {
    const char* name;
    std::optional<double> initial;
    bool allowsNegative;
    const char* typed;  // text typed in the field before the keys, or null
    std::vector<const char*> keys;
    const char* expected;
};

TEST(DurationPadModelTest, KeySequences) {
    const std::vector<PadCase> cases = {
        {"digit replaces the shown value", 0.5, false, nullptr, {"7"}, "7"},
        {"second digit edits", 0.5, false, nullptr, {"7", "7"}, "77"},
        {"point replaces with 0.", 0.5, false, nullptr, {"."}, "0."},
        {"backspace replaces with nothing", 0.5, false, nullptr, {"⌫"}, ""},
        {"empty start takes the digit", std::nullopt, false, nullptr, {"3"}, "3"},
        {"typed text is edited, not replaced", 0.5, false, "1.2", {"5"}, "1.25"},
        {"five characters at most", std::nullopt, false, "1.234", {"5"}, "1.234"},
        {"point beyond five digits", std::nullopt, false, "12345", {"."}, "12345."},
        {"minus does not count", std::nullopt, false, "-1234", {"5"}, "-12345"},
        {"second point ignored", std::nullopt, false, "1.5", {"."}, "1.5"},
        {"point on an edited empty text", 0.5, false, nullptr, {"⌫", "."}, "0."},
        {"sign on the untouched value", 0.5, true, nullptr, {"±"}, "-0.50"},
        {"sign ends the replace state", 0.5, true, nullptr, {"±", "7"}, "-0.507"},
        {"sign removes the minus", std::nullopt, true, "-0.50", {"±"}, "0.50"},
        {"sign on empty stays empty", std::nullopt, true, nullptr, {"±"}, ""},
        {"sign refused without negatives", 0.5, false, nullptr, {"±", "7"}, "7"},
        {"backspace to a lone minus", std::nullopt, true, "-5", {"⌫"}, "-"},
        {"unknown face ignored", 0.5, false, nullptr, {"x", "7"}, "7"},
    };
    for (const PadCase& c : cases) {
        DurationPadModel pad(c.initial, c.allowsNegative, false);
        if (c.typed) pad.setText(QString::fromUtf8(c.typed));
        for (const char* key : c.keys) pad.press(QString::fromUtf8(key));
        EXPECT_EQ(pad.text(), QString::fromUtf8(c.expected)) << c.name;
    }
}

TEST(DurationPadModelTest, ParseAndValidity) {
    struct Case {
        const char* text;
        std::optional<double> parsed;
        bool valid;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        {"", std::nullopt, false},
        {" ", std::nullopt, false},
        {"-", std::nullopt, false},
        {".", std::nullopt, false},
        {"1,5", std::nullopt, false},
        {"inf", inf, false},
        {"1e999", std::nullopt, false},
        {"+2.5", 2.5, true},
        {"\t2.5 ", 2.5, true},
        {"9", 9.0, true},
        {"1e-1", 0.1, true},
        {"-0.5", -0.5, true},
        {"+-1", std::nullopt, false},
        {"2.5\n", std::nullopt, false},
        {"0.", 0.0, true},
    };
    for (const Case& c : cases) {
        DurationPadModel pad(std::nullopt, false, false);
        pad.setText(QString::fromUtf8(c.text));
        EXPECT_EQ(pad.parsed(), c.parsed) << c.text;
        EXPECT_EQ(pad.isValid(), c.valid) << c.text;
    }
    DurationPadModel nan(std::nullopt, false, false);
    nan.setText("nan");
    ASSERT_TRUE(nan.parsed().has_value());
    EXPECT_TRUE(std::isnan(*nan.parsed()));
    EXPECT_FALSE(nan.isValid());
}

// Return used to hand on what the apply button refuses; commit now requires a valid entry.
TEST(DurationPadModelTest, CommitRequiresValidEntryMended) {
    for (const char* text : {"inf", "nan", "1e999", "-", ""}) {
        DurationPadModel pad(0.5, false, false);
        pad.setText(text);
        EXPECT_FALSE(pad.commit().has_value()) << text;
    }
    DurationPadModel pad(0.5, false, false);
    pad.setText(" 2.5 ");
    EXPECT_EQ(pad.commit(), std::optional<std::optional<double>>(2.5));

    DurationPadModel withDefault(0.5, false, true);
    withDefault.clear();
    ASSERT_TRUE(withDefault.commit().has_value());
    EXPECT_FALSE(withDefault.commit()->has_value());
}

TEST(DurationPadModelTest, RangeHintIsVerbatim) {
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    EXPECT_EQ(DurationPadModel::rangeHint(0.1, 5.0), QString::fromUtf8("0.10 \u301C 5.00"));
    LanguageSettings::shared().setLanguage(AppLanguage::en);  // an en dash in English
    EXPECT_EQ(DurationPadModel::rangeHint(0.1, 5.0), QString::fromUtf8("0.10 \u2013 5.00"));
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
}

}  // namespace
}  // namespace velmar
