#include "support/crafted_still.h"

#include <QtEndian>

namespace velmar::test {
namespace {

template <typename T>
void putLE(QByteArray& out, T value) {
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

void attribute(QByteArray& out, const char* name, const char* type, const QByteArray& value,
               qint32 declared) {
    out.append(name).append('\0').append(type).append('\0');
    putLE<qint32>(out, declared);
    out.append(value);
}

}  // namespace

QByteArray CraftedStill::gif(int screenWidth, int screenHeight, int frameWidth, int frameHeight) {
    QByteArray out("GIF89a");
    putLE<quint16>(out, screenWidth);
    putLE<quint16>(out, screenHeight);
    out.append(
        "\x80\0\0"
        "\0\0\0\xff\xff\xff",
        9);  // two-colour global table
    out.append('\x2c');
    for (int v : {0, 0, frameWidth, frameHeight}) putLE<quint16>(out, v);
    out.append("\0\x02\x02\x44\x01\0;", 7);  // one code, end of data, trailer
    return out.append(300, '\0');
}

QByteArray CraftedStill::exr(qint64 width, qint64 height, qint32 attributeSize, quint32 tileSide) {
    QByteArray out("\x76\x2f\x31\x01\x02\0\0\0", 8);
    if (tileSide > 0) out[5] = 0x02;  // single-part tiled
    QByteArray channel("R\0", 2);
    for (qint32 v : {1, 0, 1, 1}) putLE<qint32>(channel, v);  // half, linear, sampling 1 x 1
    channel.append('\0');
    attribute(out, "channels", "chlist", channel, channel.size());
    attribute(out, "compression", "compression", QByteArray(1, '\0'), 1);
    QByteArray window;
    for (qint64 v : {qint64(0), qint64(0), width - 1, height - 1})
        putLE<qint32>(window, static_cast<qint32>(v));
    attribute(out, "dataWindow", "box2i", window, 16);
    attribute(out, "displayWindow", "box2i", window, 16);
    attribute(out, "lineOrder", "lineOrder", QByteArray(1, '\0'), 1);
    QByteArray one;
    putLE<float>(one, 1.0f);
    attribute(out, "pixelAspectRatio", "float", one, 4);
    attribute(out, "screenWindowCenter", "v2f", QByteArray(8, '\0'), 8);
    attribute(out, "screenWindowWidth", "float", one, 4);
    if (tileSide > 0) {
        QByteArray tiles;
        putLE<quint32>(tiles, tileSide);
        putLE<quint32>(tiles, tileSide);
        tiles.append('\0');  // one level, rounded down
        attribute(out, "tiles", "tiledesc", tiles, 9);
    }
    if (attributeSize >= 0) attribute(out, "note", "string", QByteArray(4, 'x'), attributeSize);
    out.append('\0');
    return out.append(300, '\0');
}

}  // namespace velmar::test
