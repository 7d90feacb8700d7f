#pragma once

#include <QString>

#include <array>
#include <optional>

namespace velmar {

// The editing rules of the duration entry pad, apart from its widgets: the text of the field,
// the text it started with, and whether the next keypad press replaces the untouched value.
// The pad shows its range as a hint only; the receiver of a committed value limits and rounds
// it. Main thread only (a plain value).
class DurationPadModel {
  public:
    // The keypad faces, four rows of three.
    static const std::array<std::array<const char*, 3>, 4> kKeys;
    // The sign key, shown in a row of its own when negative values are allowed.
    static constexpr const char* kSignKey = "±";
    static constexpr const char* kBackspaceKey = "⌫";
    // Most characters a digit key may grow the text to, a leading "-" not counted.
    static constexpr int kMaxCharacters = 5;

    // The text starts as the value written "%.2f" (0.5 gives "0.50"), or empty without one.
    DurationPadModel(std::optional<double> initialValue, bool allowsNegative, bool allowsDefault);

    const QString& text() const { return text_; }
    const QString& originalText() const { return originalText_; }
    bool replaceOnNextKeypad() const { return replaceOnNextKeypad_; }
    bool allowsNegative() const { return allowsNegative_; }
    bool allowsDefault() const { return allowsDefault_; }

    // Typing in the field.
    void setText(const QString& text) { text_ = text; }
    // The clear button: empties the text and changes nothing else.
    void clear() { text_.clear(); }
    // A keypad press; faces other than the keypad's are ignored ("±" too without
    // allowsNegative).
    void press(const QString& face);

    // The whole trimmed text as a number; nothing when it is not one.
    std::optional<double> parsed() const { return parse(text_); }
    // An empty text is valid exactly when it stands for the default; any other text must be a
    // finite number.
    bool isValid() const;
    // What the apply button and Return hand to the receiver: nothing at all while the entry is
    // not valid; else the number, or an absent number for the default.
    std::optional<std::optional<double>> commit() const;

    // Locale-independent: spaces and tabs around the text are dropped; a period is the decimal
    // point; an optional "+" or "-" and an optional exponent are accepted; infinity and
    // not-a-number parse (and are refused by isValid). A magnitude beyond double is not a
    // number here.
    static std::optional<double> parse(const QString& text);
    // "0.10 〜 5.00": the bounds written "%.2f", joined by the range sign of the language in
    // force (English "0.10 – 5.00").
    static QString rangeHint(double lower, double upper);

  private:
    QString text_;
    QString originalText_;
    bool replaceOnNextKeypad_ = true;
    bool allowsNegative_ = false;
    bool allowsDefault_ = false;
};

}  // namespace velmar
