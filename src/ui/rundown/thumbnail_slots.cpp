#include "ui/rundown/thumbnail_slots.h"

#include <QSet>

namespace velmar {

ThumbnailSlots::ThumbnailSlots(Request request) : state_(std::make_shared<State>()) {
    state_->request = std::move(request);
}

void ThumbnailSlots::ask(const std::shared_ptr<State>& state, const QUuid& id) {
    Slot& slot = state->entries[id];
    // The token is in place before the call, which may answer at once from the cache.
    const quint64 token = ++state->nextToken;
    slot.token = token;
    ++state->requests;
    if (!state->request) return;
    std::weak_ptr<State> weak = state;
    state->inRequest = true;
    state->request(slot.url, kMaxPixel, [weak, id, token](ImageRef image) {
        const auto s = weak.lock();
        if (!s) return;
        const auto it = s->entries.find(id);
        if (it == s->entries.end() || it->token != token) return;
        it->image = std::move(image);
        it->prepared = QImage();
        if (!s->inRequest && s->onChange) s->onChange();
    });
    state->inRequest = false;
}

void ThumbnailSlots::want(const std::vector<std::pair<QUuid, QUrl>>& clips) {
    QSet<QUuid> wanted;
    wanted.reserve(static_cast<qsizetype>(clips.size()));
    for (const auto& [id, url] : clips) wanted.insert(id);
    for (auto it = state_->entries.begin(); it != state_->entries.end();) {
        it = wanted.contains(it.key()) ? std::next(it) : state_->entries.erase(it);
    }
    for (const auto& [id, url] : clips) {
        const auto it = state_->entries.find(id);
        if (it != state_->entries.end() && it->url == url) continue;
        Slot& slot = state_->entries[id];
        slot.url = url;
        slot.image.reset();
        slot.prepared = QImage();
        ask(state_, id);
    }
}

void ThumbnailSlots::invalidate() {
    const QList<QUuid> ids = state_->entries.keys();
    for (const QUuid& id : ids) {
        state_->entries[id].image.reset();
        state_->entries[id].prepared = QImage();
        ask(state_, id);
    }
}

ImageRef ThumbnailSlots::image(const QUuid& id) const {
    const auto it = state_->entries.constFind(id);
    return it == state_->entries.cend() ? nullptr : it->image;
}

QImage ThumbnailSlots::prepared(const QUuid& id, double key,
                                const std::function<QImage(const QImage&)>& make) const {
    const auto it = state_->entries.find(id);
    if (it == state_->entries.end() || !it->image) return {};
    if (it->prepared.isNull() || it->preparedKey != key) {
        it->prepared = make(*it->image);
        it->preparedKey = key;
    }
    return it->prepared;
}

bool ThumbnailSlots::isWaiting(const QUuid& id) const {
    const auto it = state_->entries.constFind(id);
    return it != state_->entries.cend() && !it->image;
}

}  // namespace velmar
