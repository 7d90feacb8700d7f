#include "core/still_header.h"

#include <QFile>

#include <sys/stat.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace velmar {
namespace {

// Sequential reads from a file of known size.
class Reader {
  public:
    explicit Reader(const QString& path) {
        file_.reset(std::fopen(QFile::encodeName(path).constData(), "rb"));
        struct stat st {};
        if (file_ && ::fstat(::fileno(file_.get()), &st) == 0) size_ = st.st_size;
    }
    bool open() const { return file_ != nullptr; }
    std::int64_t remaining() const { return size_ - position_; }

    bool bytes(void* out, std::int64_t n) {
        if (n < 0 || n > remaining()) return false;
        if (std::fread(out, 1, static_cast<size_t>(n), file_.get()) != static_cast<size_t>(n))
            return false;
        position_ += n;
        return true;
    }
    int byte() {
        unsigned char b = 0;
        return bytes(&b, 1) ? b : -1;
    }
    int peek() {
        if (remaining() < 1) return -1;
        const int c = std::getc(file_.get());
        if (c != EOF) std::ungetc(c, file_.get());
        return c == EOF ? -1 : c;
    }
    bool skip(std::int64_t n) {
        if (n < 0 || n > remaining()) return false;
        if (n <= 256) {  // short skips stay inside the stream's buffer
            std::array<unsigned char, 256> scratch{};
            return bytes(scratch.data(), n);
        }
        if (::fseeko(file_.get(), static_cast<off_t>(n), SEEK_CUR) != 0) return false;
        position_ += n;
        return true;
    }
    // A NUL-terminated string of at most maxLength characters.
    bool text(std::string& out, size_t maxLength) {
        out.clear();
        for (int c = byte(); c != 0; c = byte()) {
            if (c < 0 || out.size() >= maxLength) return false;
            out.push_back(static_cast<char>(c));
        }
        return true;
    }

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
};

std::int64_t le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::int32_t le32(const unsigned char* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (std::uint32_t(p[1]) << 8) |
                                     (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24));
}

std::int64_t be32(const unsigned char* p) {
    return std::int64_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

struct Claims {
    std::int64_t width = 0;
    std::int64_t height = 0;
    double area = 0;
    std::int64_t firstWidth = -1;
    std::int64_t firstHeight = -1;
    double chunkBytes = 0;  // the largest block a decoder buffers at once, in bytes
    void add(std::int64_t w, std::int64_t h) {
        if (firstWidth < 0) {
            firstWidth = w;
            firstHeight = h;
        }
        width = std::max(width, w);
        height = std::max(height, h);
        area = std::max(area, static_cast<double>(w) * static_cast<double>(h));
    }
};

StillHeader::Format formatOf(const unsigned char* b, size_t n) {
    using F = StillHeader::Format;
    auto starts = [&](const char* magic, size_t len, size_t at = 0) {
        return n >= at + len && std::memcmp(b + at, magic, len) == 0;
    };
    if (starts("\x89PNG\r\n\x1a\n", 8)) return F::png;
    if (starts("\xff\xd8\xff", 3)) return F::jpeg;
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return F::tiff;
    if (starts("8BPS", 4)) return F::psd;
    if (starts("BM", 2)) return F::bmp;
    if (starts("GIF87a", 6) || starts("GIF89a", 6)) return F::gif;
    if (starts("\x76\x2f\x31\x01", 4)) return F::openexr;
    // ISO base media: a leading 'ftyp' box whose major or a compatible brand is a HEIF one.
    if (starts("ftyp", 4, 4)) {
        const size_t box =
            std::min<size_t>(n, static_cast<size_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]);
        static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                              "hevm", "hevs", "mif1", "msf1", "avif", "avis"};
        for (size_t at = 8; at + 4 <= box; at += at == 8 ? 8 : 4) {  // skip minor version
            for (const char* brand : kBrands) {
                if (std::memcmp(b + at, brand, 4) == 0) return F::heif;
            }
        }
    }
    return F::unknown;
}

// Data sub-blocks up to the empty one that ends them.
bool skipGifSubBlocks(Reader& in) {
    for (int n = in.byte(); n != 0; n = in.byte()) {
        if (n < 0 || !in.skip(n)) return false;
    }
    return true;
}

// The logical screen and every image descriptor. A stream cut short after the screen still
// counts as read: the decoder reports what it can of such a file.
bool walkGif(Reader& in, Claims& claims) {
    unsigned char screen[13];
    if (!in.bytes(screen, sizeof screen)) return false;
    claims.add(le16(screen + 6), le16(screen + 8));
    if ((screen[10] & 0x80) != 0 && !in.skip(3 << ((screen[10] & 7) + 1))) return true;
    while (true) {
        const int block = in.byte();
        if (block == 0x2c) {  // image descriptor
            unsigned char d[9];
            if (!in.bytes(d, sizeof d)) return true;
            claims.add(le16(d + 4), le16(d + 6));
            if ((d[8] & 0x80) != 0 && !in.skip(3 << ((d[8] & 7) + 1))) return true;
            if (in.byte() < 0 || !skipGifSubBlocks(in)) return true;  // code size, then data
        } else if (block == 0x21) {                                   // extension: label, then data
            if (in.byte() < 0 || !skipGifSubBlocks(in)) return true;
        } else {
            return true;  // trailer, end of file or bytes no decoder goes past
        }
    }
}

// The chunks up to the first image data, each of which must lie within the file (the library
// allocates what a chunk's length claims before reading it), the first being the header.
bool walkPng(Reader& in, Claims& claims) {
    if (!in.skip(8)) return false;
    for (bool first = true;; first = false) {
        unsigned char chunk[8];
        if (!in.bytes(chunk, sizeof chunk)) return false;
        const std::int64_t length = be32(chunk);
        if (first != (std::memcmp(chunk + 4, "IHDR", 4) == 0) || length + 4 > in.remaining())
            return false;
        if (first) {
            unsigned char ihdr[8];
            if (length < 8 || !in.bytes(ihdr, 8) || !in.skip(length - 8 + 4)) return false;
            claims.add(be32(ihdr), be32(ihdr + 4));
        } else if (std::memcmp(chunk + 4, "IDAT", 4) == 0) {
            return true;
        } else if (!in.skip(length + 4)) {
            return false;
        }
    }
}

// The header and the lengths of the sections that follow it (colour data, resources with every
// resource block, layers and masks), each of which must lie within the file.
bool walkPsd(Reader& in, Claims& claims) {
    unsigned char h[26];
    if (!in.bytes(h, sizeof h)) return false;
    const int version = h[4] << 8 | h[5];
    if (version != 1 && version != 2) return false;
    claims.add(be32(h + 18), be32(h + 14));
    unsigned char length[8];
    if (!in.bytes(length, 4) || !in.skip(be32(length))) return false;  // colour mode data
    if (!in.bytes(length, 4) || be32(length) > in.remaining()) return false;
    for (std::int64_t left = be32(length); left > 0;) {  // image resource blocks
        unsigned char block[7];
        if (left < 12 || !in.bytes(block, sizeof block)) return false;
        const std::int64_t name =
            (block[6] + 2) & ~1;  // Pascal string padded to even, with its count
        unsigned char size[4];
        if (!in.skip(name - 1) || !in.bytes(size, 4)) return false;
        const std::int64_t data = (be32(size) + 1) & ~std::int64_t(1);
        left -= 6 + name + 4 + data;
        if (left < 0 || !in.skip(data)) return false;
    }
    const int sizeBytes = version == 1 ? 4 : 8;
    if (!in.bytes(length, sizeBytes)) return false;
    const std::int64_t layers =
        version == 1 ? be32(length) : (be32(length) << 32 | be32(length + 4));
    return layers >= 0 && layers <= in.remaining();
}

// The library reads a value by its type, whatever size the attribute declares: the declared size
// must be the one the type has (or, for channel lists and previews, the one their contents need),
// else the reading goes astray in the rest of the header.
// What a part's header says about the blocks its pixels are stored in.
struct ExrPart {
    std::int64_t width = 0;  // data window
    std::int64_t height = 0;
    double bytesPerPixel = 0;  // over every channel, each taken at full resolution
    int compression = 0;
    bool tiled = false;
    std::int64_t tileWidth = 0;
    std::int64_t tileHeight = 0;
    int levelMode = 0;  // one level, mipmaps, ripmaps
    bool roundUp = false;
    std::int64_t chunkCount = 0;  // as declared; multi-part files must declare it
};

bool exrValueHolds(Reader& in, const std::string& type, std::int32_t length, ExrPart& part) {
    static const std::pair<const char*, int> kFixed[] = {
        {"box2i", 16},    {"box2f", 16},   {"v2i", 8},
        {"v2f", 8},       {"v2d", 16},     {"v3i", 12},
        {"v3f", 12},      {"v3d", 24},     {"int", 4},
        {"float", 4},     {"double", 8},   {"compression", 1},
        {"lineOrder", 1}, {"envmap", 1},   {"deepImageState", 1},
        {"m33f", 36},     {"m33d", 72},    {"m44f", 64},
        {"m44d", 128},    {"tiledesc", 9}, {"timecode", 8},
        {"keycode", 28},  {"rational", 8}, {"chromaticities", 32}};
    if (type == "tiledesc" || type == "compression") {
        unsigned char value[9];
        if (length != (type == "tiledesc" ? 9 : 1) || !in.bytes(value, length)) return false;
        if (type == "compression") {
            part.compression = value[0];
            return true;
        }
        part.tiled = true;
        part.tileWidth = std::uint32_t(le32(value));
        part.tileHeight = std::uint32_t(le32(value + 4));
        part.levelMode = value[8] & 0x0f;
        part.roundUp = (value[8] >> 4) != 0;
        return part.tileWidth >= 1 && part.tileHeight >= 1 && part.levelMode <= 2;
    }
    for (const auto& [name, size] : kFixed) {
        if (type == name) return length == size && in.skip(length);
    }
    if (type == "preview") {
        unsigned char sides[8];
        if (length < 8 || !in.bytes(sides, 8)) return false;
        const double pixels = double(std::uint32_t(le32(sides))) * std::uint32_t(le32(sides + 4));
        return pixels * 4 == double(length) - 8 && in.skip(length - 8);
    }
    if (type == "chlist") {  // names, each followed by 16 bytes, up to an empty name
        std::string channel;
        for (std::int64_t left = length; left > 0;) {
            if (!in.text(channel, 255)) return false;
            if (channel.empty()) return left == 1;
            left -= std::int64_t(channel.size()) + 1 + 16;
            unsigned char layout[16];  // pixel type, linear flag, reserved, x and y sampling
            if (left < 1 || !in.bytes(layout, sizeof layout)) return false;
            part.bytesPerPixel += le32(layout) == 1 ? 2 : 4;  // half, else 32-bit
        }
        return false;
    }
    return in.skip(length);
}

// Scanlines stored together in one block, by compression method.
int exrLinesPerChunk(int compression) {
    static constexpr int kLines[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};
    return compression >= 0 && compression < int(std::size(kLines)) ? kLines[compression] : 256;
}

double exrChunkBytes(const ExrPart& part) {
    const double pixels = part.tiled ? double(part.tileWidth) * double(part.tileHeight)
                                     : double(part.width) * exrLinesPerChunk(part.compression);
    return pixels * part.bytesPerPixel;
}

// The size of a resolution level along one side.
double exrLevelSide(std::int64_t side, int level, bool roundUp) {
    const double scaled = double(side) / std::ldexp(1.0, level);
    return std::max(1.0, roundUp ? std::ceil(scaled) : std::floor(scaled));
}

int exrLevelCount(std::int64_t side, bool roundUp) {
    int levels = 1;
    while (exrLevelSide(side, levels - 1, roundUp) > 1) ++levels;
    return levels;
}

double exrChunkCount(const ExrPart& part) {
    if (!part.tiled) return std::ceil(double(part.height) / exrLinesPerChunk(part.compression));
    auto tiles = [&](int lx, int ly) {
        return std::ceil(exrLevelSide(part.width, lx, part.roundUp) / double(part.tileWidth)) *
               std::ceil(exrLevelSide(part.height, ly, part.roundUp) / double(part.tileHeight));
    };
    double count = 0;
    if (part.levelMode == 0) {
        count = tiles(0, 0);
    } else if (part.levelMode == 1) {
        const int levels = exrLevelCount(std::max(part.width, part.height), part.roundUp);
        for (int l = 0; l < levels; ++l) count += tiles(l, l);
    } else {
        const int xLevels = exrLevelCount(part.width, part.roundUp);
        const int yLevels = exrLevelCount(part.height, part.roundUp);
        for (int ly = 0; ly < yLevels; ++ly) {
            for (int lx = 0; lx < xLevels; ++lx) count += tiles(lx, ly);
        }
    }
    return count;
}

// Every attribute of every part. Each one must lie within the file, and each part must have a
// data window of at least one pixel.
bool walkExr(Reader& in, Claims& claims) {
    unsigned char start[8];
    if (!in.bytes(start, sizeof start)) return false;
    const std::int32_t version = le32(start + 4);
    if ((version & 0xff) != 2) return false;
    const bool multipart = (version & 0x1000) != 0;
    std::string name;
    std::string type;
    std::vector<ExrPart> parts;
    while (true) {
        bool window = false;
        ExrPart& part = parts.emplace_back();
        while (true) {
            if (!in.text(name, 255)) return false;
            if (name.empty()) break;  // end of this part's header
            unsigned char size[4];
            if (!in.text(type, 255) || !in.bytes(size, 4)) return false;
            const std::int32_t length = le32(size);
            if (name == "dataWindow") {
                unsigned char box[16];
                if (type != "box2i" || length != 16 || !in.bytes(box, 16)) return false;
                const std::int64_t w = std::int64_t(le32(box + 8)) - le32(box) + 1;
                const std::int64_t h = std::int64_t(le32(box + 12)) - le32(box + 4) + 1;
                if (w < 1 || h < 1) return false;
                claims.add(w, h);
                part.width = w;
                part.height = h;
                window = true;
            } else if (name == "chunkCount" && type == "int") {
                unsigned char count[4];
                if (length != 4 || !in.bytes(count, 4) || le32(count) < 0) return false;
                part.chunkCount = le32(count);
            } else if (!exrValueHolds(in, type, length, part)) {
                return false;
            }
        }
        if (!window) return false;
        // Parts follow one another up to an empty header.
        if (!multipart) break;
        const int next = in.peek();
        if (next < 0) return false;
        if (next == 0) {
            (void)in.byte();
            break;
        }
    }
    // The library reads every part's table of block offsets, and sets up a decoder with a buffer
    // for one whole block, as soon as the file is opened.
    double offsets = 0;
    for (const ExrPart& part : parts) {
        claims.chunkBytes = std::max(claims.chunkBytes, exrChunkBytes(part));
        offsets += std::max(double(part.chunkCount), exrChunkCount(part));
    }
    return offsets * 8 <= double(in.remaining());
}

using Walker = bool (*)(Reader&, Claims&);

Walker walkerFor(StillHeader::Format format) {
    switch (format) {
        case StillHeader::Format::gif:
            return walkGif;
        case StillHeader::Format::openexr:
            return walkExr;
        case StillHeader::Format::png:
            return walkPng;
        case StillHeader::Format::psd:
            return walkPsd;
        default:
            return nullptr;
    }
}

}  // namespace

StillHeader StillHeader::read(const QString& path) {
    StillHeader header;
    Reader in(path);
    if (!in.open()) return header;
    std::array<unsigned char, 64> start{};
    const auto n = static_cast<size_t>(std::min<std::int64_t>(in.remaining(), start.size()));
    if (!in.bytes(start.data(), static_cast<std::int64_t>(n))) return header;
    header.format_ = formatOf(start.data(), n);
    header.readable_ = header.format_ != Format::unknown;
    const unsigned char* b = start.data();
    Claims claims;
    // Sizes at fixed places: read here too, so that a claim beyond what the library accepts is
    // refused for its size like any other.
    if (header.format_ == Format::bmp && n >= 26) {
        const bool core = le32(b + 14) == 12;  // the oldest header: 16-bit sides
        claims.add(core ? le16(b + 18) : std::abs(std::int64_t(le32(b + 18))),
                   core ? le16(b + 20) : std::abs(std::int64_t(le32(b + 22))));
    } else if (const auto walker = walkerFor(header.format_)) {
        Reader walk(path);  // from the start again
        header.readable_ = walk.open() && walker(walk, claims);
    } else {
        return header;
    }
    header.sized_ = true;
    header.width_ = claims.width;
    header.height_ = claims.height;
    header.area_ = claims.area;
    header.chunkBytes_ = claims.chunkBytes;
    header.pictureWidth_ = std::max<std::int64_t>(0, claims.firstWidth);
    header.pictureHeight_ = std::max<std::int64_t>(0, claims.firstHeight);
    return header;
}

}  // namespace velmar
