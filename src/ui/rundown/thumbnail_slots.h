#pragma once

#include "models/image_ref.h"

#include <QHash>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace velmar {

// The thumbnails of the cells the strip shows, one slot per clip id. Each slot holds the last
// picture accepted for it and the token of the one request whose result may still land; a
// result whose token has been replaced (the file changed, the cache was emptied, the cell left
// the wanted range) is dropped. A cached picture lands before the request call returns.
//
// Only the clips named by the last want() hold entries, so pictures are kept for the visible cells
// plus a margin and never for the whole tab.
class ThumbnailSlots {
  public:
    using Completion = std::function<void(ImageRef)>;
    using Request = std::function<void(const QUrl& url, int maxPixel, Completion)>;
    static constexpr int kMaxPixel = 320;

    explicit ThumbnailSlots(Request request);

    // The clips now wanted, with their files. A new clip, or one whose file changed, asks for its
    // picture; a clip no longer wanted is forgotten.
    void want(const std::vector<std::pair<QUuid, QUrl>>& clips);
    // The cache was emptied: every wanted slot forgets its picture and asks again.
    void invalidate();

    ImageRef image(const QUuid& id) const;
    // What `make` gives for the picture, made once per picture and key (a scale, say).
    QImage prepared(const QUuid& id, double key,
                    const std::function<QImage(const QImage&)>& make) const;
    // Wanted and still without a picture.
    bool isWaiting(const QUuid& id) const;
    int requestsMade() const { return state_->requests; }

    // Called when a picture lands after the request call has returned.
    void setOnChange(std::function<void()> onChange) { state_->onChange = std::move(onChange); }

  private:
    struct Slot {
        QUrl url;
        ImageRef image;
        QImage prepared;
        double preparedKey = 0;
        quint64 token = 0;
    };
    struct State {
        Request request;
        QHash<QUuid, Slot> entries;
        quint64 nextToken = 0;
        int requests = 0;
        bool inRequest = false;
        std::function<void()> onChange;
    };
    static void ask(const std::shared_ptr<State>& state, const QUuid& id);

    std::shared_ptr<State> state_;
};

}  // namespace velmar
