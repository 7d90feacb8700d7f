#include "models/project_crypto.h"

#include "models/localized.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <array>
#include <memory>
#include <stdexcept>

namespace velmar {

namespace {

using Key = std::array<unsigned char, 32>;

// The key is the SHA-256 digest of material put together here at run time. Nothing of it is
// stored in a file; it is the same in every run, so every run opens what another sealed.
const Key& key() {
    static const Key value = [] {
        QByteArray material;
        const char* parts[] = {"velmar", "project", "container", "aes-256-gcm", "seal"};
        for (int round = 0; round < 7; ++round) {
            for (const char* part : parts) {
                material.append(part);
                material.append(static_cast<char>((round * 31 + material.size()) & 0xff));
            }
        }
        Key out{};
        SHA256(reinterpret_cast<const unsigned char*>(material.constData()),
               static_cast<size_t>(material.size()), out.data());
        return out;
    }();
    return value;
}

struct CipherDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherDeleter>;

const unsigned char* bytes(const QByteArray& data) {
    return reinterpret_cast<const unsigned char*>(data.constData());
}

}  // namespace

ProjectCrypto::Failure::Failure(Kind kind, int version)
    : kind_(kind), version_(version), message_(errorDescription().toStdString()) {}

QString ProjectCrypto::Failure::errorDescription() const {
    switch (kind_) {
        case Kind::unsupportedVersion:
            return localized("新しいバージョンの DOVRINE で保存されたプロジェクトです");
        case Kind::notProjectFile:
            return localized("DOVRINE のプロジェクトファイルではありません");
        case Kind::damaged:
            break;
    }
    return localized("プロジェクトファイルが壊れているか、書き換えられています");
}

const QByteArray& ProjectCrypto::magic() {
    static const QByteArray value("DOVRINEP", 8);
    return value;
}

QByteArray ProjectCrypto::seal(const QByteArray& plain) {
    QByteArray header = magic();
    header.append(static_cast<char>(kCurrentVersion));

    const int n = plain.size();
    QByteArray out(kHeaderSize + kNonceSize + n + kTagSize, Qt::Uninitialized);
    auto* data = reinterpret_cast<unsigned char*>(out.data());
    std::copy(header.cbegin(), header.cend(), out.begin());
    unsigned char* nonce = data + kHeaderSize;
    unsigned char* cipherText = nonce + kNonceSize;
    unsigned char* tag = cipherText + n;

    if (RAND_bytes(nonce, kNonceSize) != 1) throw std::runtime_error("AES-GCM: no random nonce");
    CipherContext ctx(EVP_CIPHER_CTX_new());
    int len = 0;
    if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1 ||
        EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, key().data(), nonce) != 1 ||
        EVP_EncryptUpdate(ctx.get(), nullptr, &len, bytes(header), kHeaderSize) != 1 ||
        (n > 0 && EVP_EncryptUpdate(ctx.get(), cipherText, &len, bytes(plain), n) != 1) ||
        EVP_EncryptFinal_ex(ctx.get(), cipherText + (n > 0 ? len : 0), &len) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, tag) != 1) {
        throw std::runtime_error("AES-GCM: sealing failed");
    }
    return out;
}

QByteArray ProjectCrypto::open(const QByteArray& container) {
    if (container.size() < kHeaderSize + 1 || !container.startsWith(magic())) {
        throw Failure(Failure::Kind::notProjectFile);
    }
    const auto version = static_cast<unsigned char>(container[8]);
    if (version != kCurrentVersion) throw Failure(Failure::Kind::unsupportedVersion, version);
    if (container.size() < kHeaderSize + kNonceSize + kTagSize)
        throw Failure(Failure::Kind::damaged);

    const unsigned char* data = bytes(container);
    const unsigned char* nonce = data + kHeaderSize;
    const unsigned char* cipherText = nonce + kNonceSize;
    const int n = container.size() - kHeaderSize - kNonceSize - kTagSize;
    // The tag is copied because OpenSSL takes it through a non-const pointer.
    std::array<unsigned char, kTagSize> tag{};
    std::copy(cipherText + n, cipherText + n + kTagSize, tag.begin());

    QByteArray plain(n, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    CipherContext ctx(EVP_CIPHER_CTX_new());
    int len = 0;
    const bool ok =
        ctx && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) == 1 &&
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key().data(), nonce) == 1 &&
        EVP_DecryptUpdate(ctx.get(), nullptr, &len, data, kHeaderSize) == 1 &&
        (n == 0 || EVP_DecryptUpdate(ctx.get(), out, &len, cipherText, n) == 1) &&
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag.data()) == 1 &&
        EVP_DecryptFinal_ex(ctx.get(), out + (n > 0 ? len : 0), &len) == 1;
    if (!ok) throw Failure(Failure::Kind::damaged);
    return plain;
}

}  // namespace velmar
