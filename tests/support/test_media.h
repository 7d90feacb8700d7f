#pragma once

#include <QString>
#include <QStringList>

namespace velmar::test {

// Makes media files for tests in a folder that lives as long as the test program. Files are
// made once per distinct request and reused. Stills are written with OpenImageIO; movies with
// the ffmpeg program (the product itself never runs it).
class TestMedia {
  public:
    struct StillOptions {
        int width = 64;
        int height = 48;
        bool alpha = false;   // a soft alpha ramp from left (0) to right (255)
        int orientation = 1;  // EXIF orientation 1...8 written into the file when the format can
        bool busy = false;    // gradients and noise instead of flat areas (for benchmarks)
    };
    struct MovieOptions {
        int width = 320;
        int height = 180;
        int frameRateNum = 25;
        int frameRateDen = 1;
        double seconds = 1.0;
        QString codec = "libx264";  // ffmpeg encoder name
        QString pixelFormat = "yuv420p";
        bool audio = false;
        int audioRate = 48000;
        int audioChannels = 2;
        QStringList codecArguments;  // further encoder options, e.g. {"-profile:v", "4444"}
        bool video = true;           // false: sound only (needs audio)
        int rotation = 0;            // 90: the track matrix turns the picture a quarter clockwise
        bool coverArt = false;       // with sound only: one attached picture beside the sound
    };

    // The folder that holds everything made.
    static QString directory();

    // A still of the given extension (png, tif, tiff, psd, jpg, jpeg, heic, bmp, gif, exr). The
    // picture is a deterministic pattern: left half red, right half blue, top row white. PSD is
    // written by our own writer (RLE-compressed, no layers; the fourth channel is alpha). Empty
    // when the format cannot be written on this machine.
    static QString still(const QString& extension, const StillOptions& options);
    static QString still(const QString& extension) { return still(extension, StillOptions{}); }

    // A movie with the given container extension (mov, mp4, m4v, m4a, mxf, avi).
    static QString movie(const QString& extension, const MovieOptions& options);
    static QString movie(const QString& extension) { return movie(extension, MovieOptions{}); }

    // True when OpenImageIO can write HEIC here (its heif plugin with an encoder).
    static bool canWriteHeic();

    // A still whose header announces width x height but which holds (almost) no pixel data:
    // enough to read its size, not to decode it. png (made by hand) and exr.
    static QString headerOnlyStill(const QString& extension, int width, int height);

    // A copy of the file under a new name, grown to exactly `size` bytes with a sparse tail of
    // zeros (which decoders ignore after the end of the image).
    static QString grownCopy(const QString& source, const QString& name, qint64 size);

    // A named pipe (FIFO) under the given name.
    static QString fifo(const QString& name);

    // A file with the given bytes under the given name.
    static QString file(const QString& name, const QByteArray& bytes);

    // Runs a program to completion; true when it exited with 0.
    static bool run(const QString& program, const QStringList& arguments,
                    QByteArray* output = nullptr);
};

}  // namespace velmar::test
