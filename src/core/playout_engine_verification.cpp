// Verification and metadata: background passes that check each clip's file can be played and
// fill in pixel sizes and content anchors. Results reach the engine on the main thread and are
// applied only to clips that still have the same id and file.
#include "core/playout_engine.h"

#include "platform/base/main_thread.h"

#include <QPointer>

#include <memory>

namespace velmar {
namespace {

struct VerificationItem {
    QUuid id;
    QUrl url;
    QString name;
    Clip::Kind kind;
};

}  // namespace

void PlayoutEngine::verify(const QList<Clip>& clips) {
    auto items = std::make_shared<std::vector<VerificationItem>>();
    for (const Clip& clip : clips) {
        if (!clip.isMissing) items->push_back({clip.id, clip.url, clip.displayName, clip.kind});
    }
    if (items->empty()) return;
    rundown_.setPendingVerification(rundown_.pendingVerification() +
                                    static_cast<int>(items->size()));

    QPointer<PlayoutEngine> self(this);
    auto stillReason = services_.stillRejectionReason;
    auto movieReason = services_.movieProbeFailure;
    services_.runInBackground(
        BackgroundRunner::Work::verification, [self, items, stillReason, movieReason] {
            const int n = static_cast<int>(items->size());
            int countedOff = 0;
            QList<UnreadableEntry> unreadable;
            for (int k = 0; k < n; ++k) {
                const VerificationItem& item = (*items)[k];
                std::optional<QString> reason;
                if (item.kind == Clip::Kind::movie) {
                    reason = movieReason ? movieReason(item.url) : std::nullopt;
                } else {
                    reason = stillReason ? stillReason(item.url) : std::nullopt;
                }
                int takeOff = 0;
                if (k == 0 || (k + 1) % 24 == 0 || k == n - 1) {
                    takeOff = k + 1 - countedOff;
                    countedOff = k + 1;
                }
                // Steps reach the main thread in order: one per item, then the report. No context
                // is given: the QPointer is read only on the main thread, where the engine dies.
                const bool passed = !reason.has_value();
                postToMain([self, id = item.id, url = item.url, passed, takeOff] {
                    if (!self) return;
                    if (passed) {
                        if (self->rundown_.markVerified(id, url)) {
                            const auto selected = self->rundown_.selectedClip();
                            if (selected && selected->id == id) self->reloadNextMedia();
                        }
                    }
                    if (takeOff >= 1) {
                        Rundown& rundown = self->rundown_;
                        rundown.setPendingVerification(rundown.pendingVerification() - takeOff);
                    }
                });
                if (reason) unreadable.push_back({item.id, item.url, item.name, *reason});
            }
            if (!unreadable.isEmpty()) {
                postToMain([self, unreadable] {
                    if (self) self->applyUnreadable(unreadable);
                });
            }
        });
}

void PlayoutEngine::applyUnreadable(const QList<UnreadableEntry>& entries) {
    const QList<QPair<QString, QString>> report = rundown_.applyUnreadable(entries);
    if (report.isEmpty()) return;
    if (onUnreadableClips) onUnreadableClips(report);
    reloadNextMedia();
}

void PlayoutEngine::resolvePixelSizes(const QSet<QUuid>& ids) {
    if (ids.isEmpty()) return;
    auto items = std::make_shared<std::vector<VerificationItem>>();
    for (const ClipGroup& group : rundown_.groups()) {
        for (const Clip& clip : group.clips) {
            if (ids.contains(clip.id) && !clip.isMissing) {
                items->push_back({clip.id, clip.url, clip.displayName, clip.kind});
            }
        }
    }
    if (items->empty()) return;

    QPointer<PlayoutEngine> self(this);
    const Services s = services_;
    services_.runInBackground(BackgroundRunner::Work::metadata, [self, items, s] {
        QHash<QUuid, QSizeF> sizes;
        QHash<QUuid, QPointF> anchors;
        for (const VerificationItem& item : *items) {
            if (item.kind == Clip::Kind::movie) {
                if (s.videoPixelSize) {
                    if (const auto size = s.videoPixelSize(item.url)) sizes.insert(item.id, *size);
                }
                ImageRef frame =
                    s.boundedFirstFrame ? s.boundedFirstFrame(item.url, 96, 6.0) : nullptr;
                if (frame && s.contentAnchor) {
                    if (const auto anchor = s.contentAnchor(frame))
                        anchors.insert(item.id, *anchor);
                }
            } else {
                if (s.stillRejectionReason && s.stillRejectionReason(item.url)) continue;
                if (s.stillPixelSize) {
                    if (const auto size = s.stillPixelSize(item.url))
                        sizes.insert(item.id, QSizeF(*size));
                }
                ImageRef thumb = s.stillThumbnail ? s.stillThumbnail(item.url, 96) : nullptr;
                if (thumb && s.contentAnchor) {
                    if (const auto anchor = s.contentAnchor(thumb))
                        anchors.insert(item.id, *anchor);
                }
            }
        }
        if (sizes.isEmpty() && anchors.isEmpty()) return;
        QHash<QUuid, QUrl> sources;
        for (const VerificationItem& item : *items) sources.insert(item.id, item.url);
        postToMain([self, sizes, anchors, sources] {
            if (self) self->applyMetadata(sizes, anchors, sources);
        });
    });
}

void PlayoutEngine::applyMetadata(const QHash<QUuid, QSizeF>& sizes,
                                  const QHash<QUuid, QPointF>& anchors,
                                  const QHash<QUuid, QUrl>& sourceURLs) {
    rundown_.applyMetadata(sizes, anchors, sourceURLs);
    refreshOutputState();
}

}  // namespace velmar
