#pragma once

#include "models/image_ref.h"

#include <QObject>
#include <QPointF>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace velmar {

// Small pictures of clips by file path, made in the background and kept within 240 entries and
// 96 MiB. Stills are decoded by three "thumbnail.loader" threads (at most three decodes at once,
// in request order); movies give their first frame through a first-in-first-out gate that admits
// two extractions at once, each bounded to 6 s. An extraction that overruns is stopped, and its
// slot passes on only once it has stopped, so no more than two ever run.
//
// thumbnail() is called on the main thread: a cached picture is handed over before it returns;
// otherwise the completion runs later on the main thread, exactly once, with the picture or
// nothing. Failures are not cached. The cache itself is safe from any thread.
class ThumbnailCache : public QObject {
    Q_OBJECT
  public:
    struct Limits {
        int countLimit = 240;
        qint64 totalCostLimit = 100'663'296;  // 96 MiB of pixels
        int stillDecodes = 3;
        int movieExtractions = 2;
        double movieSeconds = 6.0;
    };
    using Completion = std::function<void(ImageRef)>;

    // The process-wide cache, made on first use and kept for the life of the process.
    static ThumbnailCache& shared();

    explicit ThumbnailCache(QObject* parent = nullptr);
    explicit ThumbnailCache(const Limits& limits, QObject* parent = nullptr);
    // Stops running work (pending completions get nothing) and waits for its threads.
    ~ThumbnailCache() override;

    // A picture whose longest side is at most maxPixel, keyed by the file's path alone: a cached
    // picture is returned whatever size it was made at.
    void thumbnail(const QUrl& url, int maxPixel, Completion completion);

    // Drops the entry of one path (its file was replaced).
    void remove(const QString& path);
    // Empties the cache, then emits didInvalidate().
    void invalidate();

    int count() const;
    qint64 totalCost() const;
    bool contains(const QString& path) const;

    // The alpha-weighted centre of a picture, from -1 (left, top edge) to just under +1 (right,
    // bottom edge), y downward; pixels with alpha of 0.02 or less do not count. Nothing for an
    // empty or fully transparent picture.
    static std::optional<QPointF> anchor(const QImage& image);

  signals:
    // The cache was emptied: views showing thumbnails ask again.
    void didInvalidate();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace velmar
