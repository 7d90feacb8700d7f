#include "core/thumbnail_cache.h"

#include "core/concurrency_gate.h"
#include "core/image_loader.h"
#include "core/media_loader.h"
#include "models/clip.h"
#include "platform/base/main_thread.h"

#include <QHash>

#include <pthread.h>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar {

struct ThumbnailCache::State {
    explicit State(const Limits& l) : limits(l), movieGate(l.movieExtractions) {}

    const Limits limits;
    std::atomic<bool> closing{false};

    // Entries, most recently used first.
    struct Entry {
        QString path;
        ImageRef image;
        qint64 cost = 1;
    };
    mutable std::mutex cacheMutex;
    std::list<Entry> entries;
    QHash<QString, std::list<Entry>::iterator> index;
    qint64 cost = 0;

    // Still decodes: a fixed set of threads taking requests in order.
    std::mutex jobMutex;
    std::condition_variable jobWake;
    std::deque<std::function<void()>> jobs;
    bool stopWorkers = false;
    std::vector<std::thread> workers;

    // Movie extractions: admitted by the gate, each on its own thread.
    ConcurrencyGate movieGate;
    std::mutex liveMutex;
    std::condition_variable liveWake;
    int liveMovies = 0;

    ImageRef lookup(const QString& path) {
        std::lock_guard lock(cacheMutex);
        auto it = index.find(path);
        if (it == index.end()) return nullptr;
        entries.splice(entries.begin(), entries, it.value());
        return it.value()->image;
    }

    void store(const QString& path, const ImageRef& image) {
        const qint64 c =
            std::max<qint64>(1, static_cast<qint64>(image->bytesPerLine()) * image->height());
        std::lock_guard lock(cacheMutex);
        if (auto it = index.find(path); it != index.end()) {
            cost -= it.value()->cost;
            entries.erase(it.value());
            index.erase(it);
        }
        entries.push_front(Entry{path, image, c});
        index.insert(path, entries.begin());
        cost += c;
        while (!entries.empty() && (static_cast<int>(entries.size()) > limits.countLimit ||
                                    cost > limits.totalCostLimit)) {
            cost -= entries.back().cost;
            index.remove(entries.back().path);
            entries.pop_back();
        }
    }

    void removeEntry(const QString& path) {
        std::lock_guard lock(cacheMutex);
        if (auto it = index.find(path); it != index.end()) {
            cost -= it.value()->cost;
            entries.erase(it.value());
            index.erase(it);
        }
    }

    void removeAll() {
        std::lock_guard lock(cacheMutex);
        entries.clear();
        index.clear();
        cost = 0;
    }

    void workerLoop() {
        pthread_setname_np(pthread_self(), "thumbnail.loade");  // "thumbnail.loader", cut to 15
        while (true) {
            std::function<void()> job;
            {
                std::unique_lock lock(jobMutex);
                jobWake.wait(lock, [&] { return stopWorkers || !jobs.empty(); });
                if (jobs.empty()) return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job();
        }
    }

    // Runs on the thread the gate admitted it on; the extraction gets a thread of its own.
    static void startMovie(const std::shared_ptr<State>& self, const QUrl& url, int maxPixel,
                           const Completion& completion) {
        {
            std::lock_guard lock(self->liveMutex);
            ++self->liveMovies;
        }
        std::thread([self, url, maxPixel, completion] {
            pthread_setname_np(pthread_self(), "thumbnail.movie");
            ImageRef frame;
            if (!self->closing) {
                frame = MediaLoader::boundedFirstFrame(url, maxPixel, self->limits.movieSeconds,
                                                       &self->closing);
            }
            // The extraction has stopped (finished, failed or interrupted): only now may the
            // next one start.
            self->movieGate.release();
            if (frame) self->store(url.path(), frame);
            postToMain([completion, frame] { completion(frame); });
            std::lock_guard lock(self->liveMutex);
            --self->liveMovies;
            self->liveWake.notify_all();
        }).detach();
    }
};

ThumbnailCache& ThumbnailCache::shared() {
    static ThumbnailCache* cache = new ThumbnailCache();  // kept for the life of the process
    return *cache;
}

ThumbnailCache::ThumbnailCache(QObject* parent) : ThumbnailCache(Limits(), parent) {}

ThumbnailCache::ThumbnailCache(const Limits& limits, QObject* parent)
    : QObject(parent), state_(std::make_shared<State>(limits)) {
    const int threads = std::max(1, limits.stillDecodes);
    for (int i = 0; i < threads; ++i) {
        state_->workers.emplace_back([s = state_.get()] { s->workerLoop(); });
    }
}

ThumbnailCache::~ThumbnailCache() {
    state_->closing = true;
    {
        std::lock_guard lock(state_->jobMutex);
        state_->stopWorkers = true;
    }
    state_->jobWake.notify_all();
    for (auto& t : state_->workers) t.join();
    // Interrupted extractions release their slots; waiters then run and finish at once.
    std::unique_lock lock(state_->liveMutex);
    state_->liveWake.wait(lock, [&] {
        return state_->liveMovies == 0 && state_->movieGate.running() == 0 &&
               state_->movieGate.waiting() == 0;
    });
}

void ThumbnailCache::thumbnail(const QUrl& url, int maxPixel, Completion completion) {
    const QString path = url.path();
    if (ImageRef hit = state_->lookup(path)) {
        completion(hit);
        return;
    }
    const std::shared_ptr<State> state = state_;
    if (Clip::kindFor(url) == Clip::Kind::movie) {
        state->movieGate.acquire([state, url, maxPixel, completion] {
            State::startMovie(state, url, maxPixel, completion);
        });
        return;
    }
    {
        std::lock_guard lock(state->jobMutex);
        state->jobs.push_back([s = state.get(), url, path, maxPixel, completion] {
            ImageRef image;
            if (!s->closing) image = ImageLoader::loadThumbnail(url, maxPixel);
            if (image) s->store(path, image);
            postToMain([completion, image] { completion(image); });
        });
    }
    state->jobWake.notify_one();
}

void ThumbnailCache::remove(const QString& path) {
    state_->removeEntry(path);
}

void ThumbnailCache::invalidate() {
    state_->removeAll();
    emit didInvalidate();
}

int ThumbnailCache::count() const {
    std::lock_guard lock(state_->cacheMutex);
    return static_cast<int>(state_->entries.size());
}

qint64 ThumbnailCache::totalCost() const {
    std::lock_guard lock(state_->cacheMutex);
    return state_->cost;
}

bool ThumbnailCache::contains(const QString& path) const {
    std::lock_guard lock(state_->cacheMutex);
    return state_->index.contains(path);
}

std::optional<QPointF> ThumbnailCache::anchor(const QImage& image) {
    const int w = image.width();
    const int h = image.height();
    if (w < 1 || h < 1) return std::nullopt;
    const QImage pixels = image.format() == QImage::Format_RGBA8888_Premultiplied
                              ? image
                              : image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    if (pixels.isNull()) return std::nullopt;
    double total = 0;
    double sumX = 0;
    double sumY = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = pixels.constScanLine(y);
        for (int x = 0; x < w; ++x, p += 4) {
            const double a = p[3] / 255.0;
            if (a <= 0.02) continue;
            total += a;
            sumX += a * x;
            sumY += a * y;
        }
    }
    if (!(total > 0)) return std::nullopt;
    return QPointF(2.0 * (sumX / total) / w - 1.0, 2.0 * (sumY / total) / h - 1.0);
}

}  // namespace velmar
