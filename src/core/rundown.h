#pragma once

#include "models/bar_section.h"
#include "models/canvas_format.h"
#include "models/clip.h"
#include "models/clip_group.h"
#include "models/motion_kind.h"
#include "models/strip_insertion.h"
#include "models/strip_order.h"

#include <QHash>
#include <QObject>
#include <QPointF>
#include <QSet>
#include <QSizeF>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>

namespace velmar {

// The rundown in memory: tabs of clips with their markers and NEXT index, the current tab, the
// reorder selection, the strip's text filter, per-clip settings and which files were found
// playable. Main thread only; no timers, no media. Each kind of change has its own signal,
// emitted only when something really changed, so that a view binds to what it shows.
//
// The owner (the playout engine) reacts to edits through Hooks: it refuses edits while on air,
// shows statuses, writes the operation log, reloads NEXT and starts checks of new files.
class Rundown : public QObject {
    Q_OBJECT

  public:
    // The most clips the rundown holds over all its tabs.
    static constexpr int kMaxClips = 10000;

    struct Hooks {
        // Whether an edit that is refused on air may run now; false after the owner has told
        // the operator why (the action names what was refused).
        std::function<bool(const QString& action)> mayChange;
        // A status for the operator.
        std::function<void(const QString&)> message;
        // A line of the operation log.
        std::function<void(const QString&)> log;
        // NEXT may stand on another clip or hold another file. force: load it again even when
        // the clip now NEXT is the one loaded or being loaded.
        std::function<void(bool force)> nextChanged;
        // Starts the playability check and the metadata pass of clips.
        std::function<void(const QList<Clip>&)> verify;
        std::function<void(const QSet<QUuid>&)> resolvePixelSizes;
        // A clip now shows another file; the old file's url.
        std::function<void(const QUrl&)> fileReplaced;
    };

    // A clip found unplayable by a check of the file it had then.
    struct UnreadableEntry {
        QUuid id;
        QUrl url;
        QString name;
        QString reason;
    };

    explicit Rundown(QObject* parent = nullptr);
    void setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

    // ---- State --------------------------------------------------------------------------------
    const QList<ClipGroup>& groups() const { return groups_; }
    int currentGroupIndex() const { return currentGroupIndex_; }
    // The current index clamped to the tabs.
    int safeGroupIndex() const;
    std::optional<ClipGroup> currentGroup() const;
    // The NEXT clip: the selected clip of the current tab; none at the end of the tab.
    std::optional<Clip> selectedClip() const;
    // The current tab's NEXT index clamped to 0...clip count.
    int clampedNext() const;
    bool isAtEnd() const;
    const QSet<QUuid>& reorderSelection() const { return reorderSelection_; }
    const std::optional<int>& selectionAnchor() const { return selectionAnchor_; }
    const QString& filterText() const { return filterText_; }
    // Position of a clip by id across all tabs: (tab, index).
    std::optional<std::pair<int, int>> locate(const QUuid& id) const;

    // ---- Tabs ----------------------------------------------------------------------------------
    // Removing and reordering tabs and replacing a clip's file are refused on air; no edit
    // touches the program, which holds its own copy of its clip.
    void addGroup(const QString& name);
    void renameGroup(int index, const QString& name);  // trimmed; blank names are ignored
    void removeGroup(int index);
    void moveGroup(int index, int delta);
    void selectGroup(int index);
    void cycleGroup(bool forward);

    // ---- Clips ---------------------------------------------------------------------------------
    // Inserts imported clips into the tab with the id (the current tab when none), at the index
    // (appended when none), as many as the clip limit leaves room for; starts their checks.
    void addClips(const QList<Clip>& prepared, std::optional<int> insertAt = std::nullopt,
                  std::optional<QUuid> toGroup = std::nullopt);
    // Points the clip at another file, keeping its id, placement and motion.
    void replaceClip(int index, const QUrl& url);
    // Replaces the whole rundown (project load) and starts the checks of every clip.
    void loadGroups(QList<ClipGroup> groups);
    // Moves the current tab's clips with the ids to the end of another tab.
    void moveClips(const QSet<QUuid>& ids, int toGroup);
    // Removes the tab's clips with the ids; returns how many went. Markers and NEXT follow.
    int removeClips(const QSet<QUuid>& ids, int inGroup);
    // Removes motionTargetIDs() from the current tab.
    void deleteSelection();
    // Removes one clip of the current tab (and its id from the reorder selection).
    void removeClip(int index);

    // ---- Selection and navigation --------------------------------------------------------------
    void setSelectedIndex(int index);
    void selectNext();
    void selectPrevious();
    void jumpToLast();
    void jumpToMarker(bool forward);
    void extendSelection(int step);
    void extendReorderSelection(int index);
    void selectAllInTab();
    void setReorderSelection(QSet<QUuid> ids, std::optional<int> anchor);
    void toggleReorderSelection(int index);
    void setFilterText(const QString& text);
    bool matchesFilter(const Clip& clip) const;
    int filteredCount() const;

    // ---- Per-clip settings ---------------------------------------------------------------------
    // Each acts on the clips of the current tab whose ids are in the set; values are clamped.

    // The reorder selection, else the NEXT clip, else nothing.
    QSet<QUuid> motionTargetIDs() const;
    // The value every target shares exactly; none when they differ or there are no targets.
    std::optional<double> commonTransformValue(ClipTransform::Field field,
                                               const QSet<QUuid>& ids) const;
    void setTransform(ClipTransform::Field field, double value, const QSet<QUuid>& ids);
    void resetTransform(const QSet<QUuid>& ids);
    // Scales stills smaller than the canvas up until they touch its edges, and centres them.
    void fitSmallImagesToCanvas(const QSet<QUuid>& ids, const CanvasFormat& canvas);
    void setLoopCount(int count, const QSet<QUuid>& ids);  // movies only; 0 = endless
    std::optional<int> commonLoopCount(const QSet<QUuid>& ids) const;
    void setMotion(std::optional<MotionKind> motion, const QSet<QUuid>& ids);  // none = default
    void setMotionDuration(std::optional<double> seconds, const QSet<QUuid>& ids);
    // Outer: whether the targets agree; inner: the motion they share (none = the default motion).
    std::optional<std::optional<MotionKind>> commonMotion(const QSet<QUuid>& ids) const;

    // ---- Strip order, markers and the sequence bar ---------------------------------------------
    // The current tab's clips and markers as one strip; NEXT stays on its clip through every
    // reorder.
    // What a drag or nudge of the clip moves: the reorder selection when it holds the clip.
    QSet<QUuid> targetIDs(const QUuid& id) const;
    bool move(const QSet<QUuid>& ids, const StripInsertion& to);  // true when the strip changed
    bool nudge(const QSet<QUuid>& ids, int step);
    void moveMarker(const QUuid& id, const StripInsertion& to);
    void addMarker(int position, const QString& name);  // trimmed; blank names are ignored
    void renameMarker(const QUuid& id, const QString& name);
    void removeMarker(const QUuid& id);
    // The current tab as sections opened by its markers.
    QList<BarSection> barSections() const;

    // ---- Verification bookkeeping --------------------------------------------------------------
    // A clip is verified while its file is the one a check found playable.
    bool isVerified(const Clip& clip) const;
    // Notes a passed check; false when the clip is gone or shows another file by now.
    bool markVerified(const QUuid& id, const QUrl& url);
    int pendingVerification() const { return pendingVerification_; }
    void setPendingVerification(int count);
    // Marks the clips that still show the checked file; returns (name, reason) of each.
    QList<QPair<QString, QString>> applyUnreadable(const QList<UnreadableEntry>& entries);
    // Pixel sizes and content anchors of the clips that still show the measured file.
    void applyMetadata(const QHash<QUuid, QSizeF>& sizes, const QHash<QUuid, QPointF>& anchors,
                       const QHash<QUuid, QUrl>& sourceURLs);
    // The NEXT still is read again: forgets its size, reason and check. Returns the clip, or
    // none when NEXT is not a still.
    std::optional<Clip> forgetSelectedStill();

  signals:
    void tabsChanged();  // the tab list, names or order
    void currentTabChanged(int index);
    void clipsChanged(int tab);
    void markersChanged(int tab);
    void selectionChanged();  // a NEXT index or the reorder selection
    void filterChanged();
    void pendingVerificationChanged(int count);

  private:
    void rebuildIndex();
    void setCurrentGroupIndex(int index);
    // Replaces every tab and emits what differs from before.
    void replaceGroups(QList<ClipGroup> groups);
    // What an edit moved besides the clips.
    struct Moved {
        bool markers = false;
        bool next = false;
    };
    // Markers and NEXT of a tab after the clips at `removed` (indices before removal) left it.
    Moved compactPositions(int inGroup, QList<int> removed);
    void publishMoved(int inGroup, Moved moved);
    void applyStripOrder(const StripOrder& order, int inGroup);
    // Indices in the current tab of the clips with the ids, ascending.
    QList<int> targetIndices(const QSet<QUuid>& ids) const;
    // Emits clipsChanged for the current tab (the index stays right: no clip moved).
    void clipsEdited();

    bool mayChange(const QString& action) const {
        return !hooks_.mayChange || hooks_.mayChange(action);
    }
    void message(const QString& text) const {
        if (hooks_.message) hooks_.message(text);
    }
    void nextChanged(bool force) const {
        if (hooks_.nextChanged) hooks_.nextChanged(force);
    }

    Hooks hooks_;
    QList<ClipGroup> groups_;
    int currentGroupIndex_ = 0;
    QSet<QUuid> reorderSelection_;
    std::optional<int> selectionAnchor_;
    QString filterText_;
    int pendingVerification_ = 0;
    QHash<QUuid, QUrl> verifiedURLs_;
    QHash<QUuid, std::pair<int, int>> clipIndex_;
};

}  // namespace velmar
