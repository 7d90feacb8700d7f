#pragma once

#include <QString>

#include <cstdint>

namespace velmar {

// What the first bytes of a still image file say, read without any decoder library.
//
// The format is told by the file's signature, never by its name. For GIF, OpenEXR, PNG and PSD,
// whose library readers allocate memory for the claimed picture (or for claimed attribute, chunk
// and section sizes) as soon as the file is opened, the header structure is walked here, and the
// largest picture the file claims is kept, so that it can be checked against the safety limits
// before a library ever sees the file; BMP gives its size at a fixed place, read as well. A
// walked header that does not hold together (an attribute, chunk or section running past the end
// of the file, a part without a data window, an OpenEXR offset table longer than the rest of the
// file, a GIF without its screen) makes the file unreadable.
class StillHeader {
  public:
    enum class Format { unknown, png, jpeg, tiff, psd, heif, bmp, gif, openexr };

    // Reads the header of the file at a local path.
    static StillHeader read(const QString& path);

    Format format() const { return format_; }
    // False when the format is unknown or its walked header does not hold together.
    bool readable() const { return readable_; }
    // Whether the picture sizes below were read here (GIF, OpenEXR, PNG, PSD, BMP).
    bool sized() const { return sized_; }
    // The largest claims over every picture the header describes, each taken on its own (GIF:
    // the logical screen and each frame; OpenEXR: the data window of each part).
    std::int64_t largestWidth() const { return width_; }
    std::int64_t largestHeight() const { return height_; }
    double largestArea() const { return area_; }
    // OpenEXR: the largest block of pixel data (a tile, or a run of scanlines) of any part, in
    // bytes; the library allocates buffers of this size on opening. 0 for other formats.
    double largestChunkBytes() const { return chunkBytes_; }
    // The size of the whole picture as the header states it first (GIF: the logical screen).
    std::int64_t pictureWidth() const { return pictureWidth_; }
    std::int64_t pictureHeight() const { return pictureHeight_; }

  private:
    Format format_ = Format::unknown;
    bool readable_ = false;
    bool sized_ = false;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    double area_ = 0;
    double chunkBytes_ = 0;
    std::int64_t pictureWidth_ = 0;
    std::int64_t pictureHeight_ = 0;
};

}  // namespace velmar
