#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <string>

namespace velmar {

// The sealed container around every project and autosave file:
//   "DOVRINEP" (8 bytes) | version 0x01 | 12-byte nonce | ciphertext (n bytes) | 16-byte tag
// AES-256-GCM under one fixed key, with the 9-byte header as additional authenticated data, so
// any change to any byte is detected. The key is built in memory on first use and never written
// anywhere. Stateless apart from the key; safe to call from any thread at once.
class ProjectCrypto {
  public:
    // The reasons a container does not open. what() and errorDescription() give the message in
    // the interface language in force when they are read.
    class Failure : public std::exception {
      public:
        enum class Kind { unsupportedVersion, notProjectFile, damaged };
        explicit Failure(Kind kind, int version = 0);
        Kind kind() const { return kind_; }
        // The version byte found, for unsupportedVersion (0 to 255).
        int version() const { return version_; }
        QString errorDescription() const;
        const char* what() const noexcept override { return message_.c_str(); }
        bool operator==(const Failure& other) const {
            return kind_ == other.kind_ && version_ == other.version_;
        }

      private:
        Kind kind_;
        int version_;
        std::string message_;
    };

    static constexpr int kHeaderSize = 9;
    static constexpr int kNonceSize = 12;
    static constexpr int kTagSize = 16;
    static constexpr unsigned char kCurrentVersion = 1;

    // The 8 magic bytes "DOVRINEP".
    static const QByteArray& magic();

    // Seals plain data into a container of plain.size() + 37 bytes with a fresh random nonce.
    // Throws std::runtime_error when the cipher itself fails (it does not in practice).
    static QByteArray seal(const QByteArray& plain);

    // Opens a container; throws Failure: notProjectFile (under 10 bytes or other magic),
    // unsupportedVersion (another version byte), damaged (anything that does not authenticate).
    static QByteArray open(const QByteArray& container);

    ProjectCrypto() = delete;
};

}  // namespace velmar
