#include "models/project_crypto.h"

#include <QList>

#include <gtest/gtest.h>

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
        {header(0) + "x", Kind::unsupportedVersion, 0},  // older than ours: no more readable
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

// Every single-byte change from offset 9 on, every cut and an appended byte fail to
// authenticate; no change goes unnoticed.
TEST(ProjectCryptoTest, EveryAlteredOrCutContainerIsDamaged) {
    const QByteArray sealed = ProjectCrypto::seal(R"({"formatVersion":10,"groups":[]})");
    QList<QByteArray> changed{sealed + "x"};
    for (int offset = 9; offset < sealed.size(); ++offset) {
        QByteArray flipped = sealed;
        flipped[offset] = static_cast<char>(sealed[offset] ^ (offset % 2 ? 0x01 : 0x80));
        changed << flipped;
        if (offset + 1 < sealed.size()) changed << sealed.left(offset + 1);
    }
    for (const QByteArray& data : changed) {
        const auto failure = openFailure(data);
        ASSERT_TRUE(failure && failure->kind() == Kind::damaged) << data.size();
    }
}

TEST(ProjectCryptoTest, MessagesIgnoreThePayload) {
    using F = ProjectCrypto::Failure;
    EXPECT_FALSE(F(Kind::unsupportedVersion, 2).errorDescription().contains(QStringLiteral("2")));
    EXPECT_NE(F(Kind::damaged).errorDescription(), F(Kind::notProjectFile).errorDescription());
}

}  // namespace
}  // namespace velmar
