#pragma once

#include <QString>

#include <exception>
#include <string>

namespace velmar {

// The errors of the title feature. Their messages are fixed texts, not looked up. Reading a
// title raises unsupportedVersion; the other cases belong to the title operations.
class TitleError : public std::exception {
  public:
    enum class Kind {
        invalidDocument,
        renderFailed,
        pngFailed,
        storageUnavailable,
        paletteFull,
        unsupportedVersion
    };
    explicit TitleError(Kind kind);
    Kind kind() const { return kind_; }
    QString errorDescription() const;
    const char* what() const noexcept override { return message_.c_str(); }
    bool operator==(const TitleError& other) const { return kind_ == other.kind_; }

  private:
    Kind kind_;
    std::string message_;
};

}  // namespace velmar
