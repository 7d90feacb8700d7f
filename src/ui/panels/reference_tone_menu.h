#pragma once

#include "core/reference_tone_kind.h"

#include <QMenu>

#include <functional>
#include <optional>
#include <vector>

namespace velmar {

class AppState;
class ReferenceTone;

// The content of the "オーディオ" menu: stop the tone, the six line-up tones as checkable
// entries (one check at most, following the tone player also when the tone changes
// elsewhere), and the reset of the output fader to 0 dB. Built from a pure description of its
// entries; the actions go to the application state.
class ReferenceToneMenu : public QMenu {
    Q_OBJECT

  public:
    struct Actions {
        std::function<void()> stopReferenceTone;
        std::function<void(ReferenceToneKind)> toggleReferenceTone;
        // Assigns 1.0 through the fader's setter, also when it is 1.0 already.
        std::function<void()> resetFader;
    };

    enum class EntryKind { stop, separator, label, tone, resetFader };
    struct Entry {
        EntryKind kind = EntryKind::separator;
        QString title;  // looked up
        bool enabled = true;
        bool checkable = false;
        bool checked = false;
        std::optional<ReferenceToneKind> tone;
        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // The menu key of a tone ("1 kHz −20 dBFS", ...), before lookup.
    static const char* labelKey(ReferenceToneKind kind);
    // The entries, top to bottom, for the tone now playing (none when idle).
    static std::vector<Entry> describe(std::optional<ReferenceToneKind> playing);

    ReferenceToneMenu(ReferenceTone& tone, Actions actions, QWidget* parent = nullptr);
    // Calling the application state's tone commands and its fader setter.
    ReferenceToneMenu(ReferenceTone& tone, AppState& app, QWidget* parent = nullptr);
    static Actions actionsFor(AppState& app);

    // The menu's actions in the order of describe(), separators included.
    QList<QAction*> entryActions() const { return entries_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void retranslate();
    // Brings enables and checks up to date with what plays.
    void sync();

    ReferenceTone& tone_;
    Actions actions_;
    QList<QAction*> entries_;
};

}  // namespace velmar
