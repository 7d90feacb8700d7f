#include "models/project_crypto.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>

namespace velmar {
namespace {

using Kind = ProjectCrypto::Failure::Kind;

// Runs open() and returns the failure kind (and version), or nothing when it opened.
std::optional<ProjectCrypto::Failure> openFailure(const QByteArray& container) {
    try {
        ProjectCrypto::open(container);
    } catch (const ProjectCrypto::Failure& failure) {
        return failure;
    }
    return std::nullopt;
}

QByteArray header(unsigned char version) {
    QByteArray out("DOVRINEP");
    out.append(static_cast<char>(version));
    return out;
}

TEST(ProjectCryptoTest, RoundTripsAndLaysOutTheContainer) {
    for (const QByteArray& plain : {QByteArray(), QByteArray("{}"), QByteArray(5000, 'x')}) {
        const QByteArray sealed = ProjectCrypto::seal(plain);
        ASSERT_EQ(sealed.size(), plain.size() + 37);
        EXPECT_EQ(sealed.left(9), header(1));
        EXPECT_EQ(ProjectCrypto::open(sealed), plain);
        EXPECT_TRUE(plain.isEmpty() || !sealed.contains(plain)) << "plain text must not show";
    }
    // A fresh nonce every seal.
    EXPECT_NE(ProjectCrypto::seal("same").mid(9, 12), ProjectCrypto::seal("same").mid(9, 12));
}

TEST(ProjectCryptoTest, HeaderChecksDecideBeforeTheBox) {
    struct Case {
        QByteArray data;
        Kind kind;
        int version;
    };
    const Case cases[] = {
        {QByteArray(), Kind::notProjectFile, 0},
        {header(2), Kind::notProjectFile, 0},  // 9 bytes, even a correct header
        {QByteArray("{\"groups\":[]}"), Kind::notProjectFile, 0},
        {QByteArray("DOVRINEQ\x01xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"), Kind::notProjectFile, 0},
        {header(2) + "x", Kind::unsupportedVersion, 2},
        {header(255) + QByteArray(40, 'z'), Kind::unsupportedVersion, 255},
        {header(1) + "x", Kind::damaged, 0},
        {header(1) + QByteArray(28, 'x'), Kind::damaged, 0},
    };
    for (const Case& c : cases) {
        const auto failure = openFailure(c.data);
        ASSERT_TRUE(failure.has_value()) << c.data.toHex().constData();
        EXPECT_EQ(failure->kind(), c.kind) << c.data.toHex().constData();
        EXPECT_EQ(failure->version(), c.version);
    }
}

// Every single-byte change from offset 9 on, every cut, and a header change all fail to
// authenticate; no change goes unnoticed.
TEST(ProjectCryptoTest, EveryAlteredOrCutContainerIsDamaged) {
    const QByteArray plain(R"({"formatVersion":10,"groups":[{"name":"A","clips":[]}]})");
    const QByteArray sealed = ProjectCrypto::seal(plain);
    for (int offset = 9; offset < sealed.size(); ++offset) {
        for (unsigned char flip : {0x01, 0x80, 0xff}) {
            QByteArray changed = sealed;
            changed[offset] = static_cast<char>(changed[offset] ^ flip);
            const auto failure = openFailure(changed);
            ASSERT_TRUE(failure.has_value()) << "offset " << offset;
            ASSERT_EQ(failure->kind(), Kind::damaged) << "offset " << offset;
        }
    }
    for (int length = 10; length < sealed.size(); ++length) {
        const auto failure = openFailure(sealed.left(length));
        ASSERT_TRUE(failure.has_value()) << "length " << length;
        ASSERT_EQ(failure->kind(), Kind::damaged) << "length " << length;
    }
    // Bytes appended after the tag shift the tag: damaged as well.
    EXPECT_EQ(openFailure(sealed + "x")->kind(), Kind::damaged);
}

// A well-formed container made with the same layout under a different key.
QByteArray sealUnderKey(const QByteArray& plain, const unsigned char* key) {
    QByteArray out = header(1);
    unsigned char nonce[12];
    RAND_bytes(nonce, 12);
    out.append(reinterpret_cast<const char*>(nonce), 12);
    QByteArray cipher(plain.size(), Qt::Uninitialized);
    unsigned char tag[16];
    int len = 0;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_IVLEN, 12, nullptr);
    EVP_EncryptInit_ex(ctx, nullptr, nullptr, key, nonce);
    EVP_EncryptUpdate(ctx, nullptr, &len, reinterpret_cast<const unsigned char*>(out.constData()), 9);
    EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(cipher.data()), &len,
                      reinterpret_cast<const unsigned char*>(plain.constData()), static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(cipher.data()) + len, &len);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag);
    EVP_CIPHER_CTX_free(ctx);
    return out + cipher + QByteArray(reinterpret_cast<const char*>(tag), 16);
}

TEST(ProjectCryptoTest, AnotherKeyIsDamaged) {
    for (unsigned char fill : {0x00, 0x5a, 0xff}) {
        unsigned char key[32];
        std::fill(std::begin(key), std::end(key), fill);
        const QByteArray forged = sealUnderKey("{\"groups\":[]}", key);
        ASSERT_EQ(forged.size(), 13 + 37);
        EXPECT_EQ(openFailure(forged)->kind(), Kind::damaged);
    }
}

TEST(ProjectCryptoTest, MessagesIgnoreThePayload) {
    using F = ProjectCrypto::Failure;
    EXPECT_FALSE(F(Kind::unsupportedVersion, 2).errorDescription().contains(QStringLiteral("2")));
    EXPECT_NE(F(Kind::damaged).errorDescription(), F(Kind::notProjectFile).errorDescription());
}

}  // namespace
}  // namespace velmar
