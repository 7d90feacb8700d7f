#pragma once

#include <QByteArray>

namespace velmar::test {

// Still image files of a few hundred bytes whose headers claim far more than they hold.
class CraftedStill {
  public:
    // A GIF whose logical screen and single frame claim the given sizes; the frame holds one
    // pixel, enough for a frame of 1 x 1 to decode.
    static QByteArray gif(int screenWidth, int screenHeight, int frameWidth, int frameHeight);
    // A scanline OpenEXR with a data window of width x height and no pixels. A non-negative
    // attributeSize adds an attribute that declares that many bytes but holds four.
    static QByteArray exr(qint64 width, qint64 height, qint32 attributeSize = -1);
};

}  // namespace velmar::test
