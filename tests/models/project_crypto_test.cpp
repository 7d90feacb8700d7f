#include "models/project_crypto.h"

#include <QList>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Kind = ProjectCrypto::Failure::Kind;

std::optional<ProjectCrypto::Failure> openFailure(const QByteArray& container) {
    try {
        ProjectCrypto::open(container);
    } catch (const ProjectCrypto::Failure& failure) {
        return failure;
    }
    return std::nullopt;
}

QByteArray header(unsigned char version) {
    return QByteArray("DOVRINEP") + static_cast<char>(version);
}

// A file sealed by an earlier build must open in every later one: header, version 1, nonce,
// ciphertext and tag, under the same key.
TEST(ProjectCryptoTest, OpensAPinnedContainerAndSealsInTheSameLayout) {
    const QByteArray pinned = QByteArray::fromHex(
        "444f5652494e455001376df2b3ece83c7f8a9c576e76128ae1989bed23cf7be2c681cd81e1e0d20960"
        "5e3f73aeb598858bce");
    EXPECT_EQ(ProjectCrypto::open(pinned), R"({"groups":[]})");
    for (const QByteArray& plain : {QByteArray(), QByteArray(5000, 'x')}) {
        const QByteArray sealed = ProjectCrypto::seal(plain);
        ASSERT_EQ(sealed.size(), plain.size() + 37);
        EXPECT_EQ(sealed.left(9), header(1));
        EXPECT_EQ(ProjectCrypto::open(sealed), plain);
    }
    // A fresh nonce every seal.
    EXPECT_NE(ProjectCrypto::seal("same").mid(9, 12), ProjectCrypto::seal("same").mid(9, 12));
}

TEST(ProjectCryptoTest, HeaderChecksDecideBeforeTheBox) {
    const std::tuple<QByteArray, Kind, int> cases[] = {
        {QByteArray(), Kind::notProjectFile, 0},
        {header(2), Kind::notProjectFile, 0},  // 9 bytes, even a correct header
        {QByteArray("{\"groups\":[]}"), Kind::notProjectFile, 0},
        {QByteArray("DOVRINEQ\x01xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"), Kind::notProjectFile, 0},
        {header(2) + "x", Kind::unsupportedVersion, 2},
        {header(0) + "x", Kind::unsupportedVersion, 0},  // older than ours: no more readable
        {header(255) + QByteArray(40, 'z'), Kind::unsupportedVersion, 255},
        {header(1) + QByteArray(28, 'x'), Kind::damaged, 0},
    };
    for (const auto& [data, kind, version] : cases) {
        const auto failure = openFailure(data);
        ASSERT_TRUE(failure.has_value()) << data.toHex().constData();
        EXPECT_TRUE(failure->kind() == kind && failure->version() == version)
            << data.toHex().constData();
    }
    using F = ProjectCrypto::Failure;
    EXPECT_FALSE(F(Kind::unsupportedVersion, 2).errorDescription().contains(QStringLiteral("2")));
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

}  // namespace
}  // namespace velmar
