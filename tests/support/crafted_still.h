#pragma once

#include <QByteArray>

namespace velmar::test {

// Still image files of a few hundred bytes whose headers claim far more than they hold.
class CraftedStill {
  public:
    // A GIF whose logical screen and single frame claim the given sizes; the frame holds one
    // pixel, enough for a frame of 1 x 1 to decode.
    static QByteArray gif(int screenWidth, int screenHeight, int frameWidth, int frameHeight);
    // An OpenEXR with a data window of width x height and no pixels, of one half channel. A
    // non-negative attributeSize adds an attribute that declares that many bytes but holds four;
    // a positive tileSide makes it tiled, one level of square tiles.
    static QByteArray exr(qint64 width, qint64 height, qint32 attributeSize = -1,
                          quint32 tileSide = 0);
};

}  // namespace velmar::test
