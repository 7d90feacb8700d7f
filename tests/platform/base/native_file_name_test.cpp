#include "platform/base/native_file_name.h"

#include <QFile>

#include <gtest/gtest.h>

namespace velmar {
namespace {

// Text is given only for valid UTF-8, and then for exactly those bytes: a leading byte-order
// mark is a character of the name like any other, not a marker to drop.
TEST(NativeFileName, TextIsTheNameExactlyOrNone) {
    EXPECT_EQ(NativeFileName::text("/ショー/a.tavrendek"),
              QString::fromUtf8("/ショー/a.tavrendek"));
    const QByteArray marked =
        "\xEF\xBB\xBF"
        "a";
    ASSERT_TRUE(NativeFileName::text(marked));
    EXPECT_EQ(NativeFileName::text(marked)->toUtf8(), marked);
    for (const QByteArray& bad : {QByteArray("a\xC3"), QByteArray("\xC0\x80"),
                                  QByteArray("\xED\xA0\x80"), QByteArray("\xF4\x90\x80\x80")})
        EXPECT_FALSE(NativeFileName::text(bad)) << bad.toHex().constData();
}

// In a message, every byte that is not part of a valid UTF-8 character shows as \xNN: a
// sequence cut short at the end, an overlong form, a surrogate, a stray continuation byte.
TEST(NativeFileName, ReadableShowsEveryStrayByte) {
    EXPECT_EQ(NativeFileName::readable("Sh\xFFow"), "Sh\\xFFow");
    EXPECT_EQ(NativeFileName::readable("a\xE3\x81"), "a\\xE3\\x81");
    EXPECT_EQ(NativeFileName::readable("\xC0\x80"
                                       "b"),
              "\\xC0\\x80b");
    EXPECT_EQ(NativeFileName::readable("\xED\xA0\x80"), "\\xED\\xA0\\x80");
    EXPECT_EQ(NativeFileName::readable("\x80\xE3\x81\x82"), QString::fromUtf8("\\x80あ"));
    EXPECT_EQ(NativeFileName::readable("x\xEF\xBB\xBFy"), QString::fromUtf8("x\xEF\xBB\xBFy"));
    EXPECT_EQ(NativeFileName::readableFileName("/a/Sh\xFFow.tavrendek"), "Sh\\xFFow.tavrendek");
    EXPECT_EQ(NativeFileName::readableFileName("plain"), "plain");
    EXPECT_EQ(NativeFileName::readableFileName("/a/folder/"), "/a/folder/");
}

// Every byte but the zero crosses a file URL and comes back; a URL the toolkit made from text
// gives that text's bytes, its escapes undone once.
TEST(NativeFileName, FileUrlsCarryEveryByte) {
    QByteArray name = "/";
    for (int byte = 1; byte < 256; ++byte)
        if (byte != '/') name += char(byte);
    const QUrl url = NativeFileName::toUrl(name);
    EXPECT_TRUE(url.isValid());
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(NativeFileName::fromUrl(url), name);
    const QString text = QString::fromUtf8("/a b/%41#?[]ショー.tavrendek");
    EXPECT_EQ(NativeFileName::fromUrl(QUrl::fromLocalFile(text)), QFile::encodeName(text));
}

}  // namespace
}  // namespace velmar
