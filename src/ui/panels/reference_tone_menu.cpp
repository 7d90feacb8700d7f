#include "ui/panels/reference_tone_menu.h"

#include "app/app_state.h"
#include "core/reference_tone.h"
#include "models/localized.h"

#include <QEvent>

namespace velmar {

const char* ReferenceToneMenu::labelKey(ReferenceToneKind kind) {
    switch (kind) {
        case ReferenceToneKind::sine1k20:
            return L10N_KEY("1 kHz −20 dBFS");
        case ReferenceToneKind::sine1k18:
            return L10N_KEY("1 kHz −18 dBFS（EBU）");
        case ReferenceToneKind::sine1k20Left:
            return L10N_KEY("1 kHz −20 dBFS 左のみ");
        case ReferenceToneKind::sine1k20Right:
            return L10N_KEY("1 kHz −20 dBFS 右のみ");
        case ReferenceToneKind::ebuIdent:
            return L10N_KEY("左右識別（EBU、−18 dBFS・左が 3 秒ごとに途切れる）");
        case ReferenceToneKind::pinkNoise20:
            return L10N_KEY("ピンクノイズ −20 dBFS RMS");
    }
    return "";
}

std::vector<ReferenceToneMenu::Entry> ReferenceToneMenu::describe(
    std::optional<ReferenceToneKind> playing) {
    std::vector<Entry> entries;
    entries.push_back({EntryKind::stop, localized("基準信号を止める"), playing.has_value()});
    entries.push_back({});
    entries.push_back(
        {EntryKind::label,
         localized("基準信号（このコンピュータの音声出力へ。PROGRAM の音声は止まります）"), false});
    for (ReferenceToneKind kind : ReferenceToneKind::allCases()) {
        entries.push_back({EntryKind::tone, localized(labelKey(kind)), true, true,
                           playing && *playing == kind, kind});
    }
    entries.push_back({});
    entries.push_back({EntryKind::resetFader, localized("出力フェーダーを 0 dB に戻す"), true});
    return entries;
}

ReferenceToneMenu::ReferenceToneMenu(ReferenceTone& tone, Actions actions, QWidget* parent)
    : QMenu(parent), tone_(tone), actions_(std::move(actions)) {
    for (const Entry& entry : describe(tone_.kind())) {
        QAction* action =
            entry.kind == EntryKind::separator ? addSeparator() : addAction(QString());
        entries_ << action;
        action->setCheckable(entry.checkable);
        switch (entry.kind) {
            case EntryKind::stop:
                connect(action, &QAction::triggered, this, [this] {
                    if (actions_.stopReferenceTone) actions_.stopReferenceTone();
                    sync();
                });
                break;
            case EntryKind::tone:
                connect(action, &QAction::triggered, this, [this, kind = *entry.tone] {
                    if (actions_.toggleReferenceTone) actions_.toggleReferenceTone(kind);
                    // The check shows what plays, not what was clicked: a tone may fail to
                    // start, and choosing the playing one stops it.
                    sync();
                });
                break;
            case EntryKind::resetFader:
                connect(action, &QAction::triggered, this, [this] {
                    if (actions_.resetFader) actions_.resetFader();
                });
                break;
            case EntryKind::label:
            case EntryKind::separator:
                break;
        }
    }
    connect(&tone_, &ReferenceTone::kindChanged, this, &ReferenceToneMenu::sync);
    retranslate();
    sync();
}

void ReferenceToneMenu::retranslate() {
    setTitle(localized("オーディオ"));
    const std::vector<Entry> entries = describe(tone_.kind());
    for (qsizetype i = 0; i < entries_.size() && i < qsizetype(entries.size()); ++i) {
        if (!entries_[i]->isSeparator()) entries_[i]->setText(entries[i].title);
    }
}

void ReferenceToneMenu::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QMenu::changeEvent(event);
}

ReferenceToneMenu::ReferenceToneMenu(ReferenceTone& tone, AppState& app, QWidget* parent)
    : ReferenceToneMenu(tone, actionsFor(app), parent) {}

ReferenceToneMenu::Actions ReferenceToneMenu::actionsFor(AppState& app) {
    return {[&app] { app.stopReferenceTone(); },
            [&app](ReferenceToneKind kind) { app.toggleReferenceTone(kind); },
            [&app] { app.setFaderPosition(1.0); }};
}

void ReferenceToneMenu::sync() {
    const std::vector<Entry> entries = describe(tone_.kind());
    for (qsizetype i = 0; i < entries_.size() && i < qsizetype(entries.size()); ++i) {
        entries_[i]->setEnabled(entries[i].enabled);
        entries_[i]->setChecked(entries[i].checked);
    }
}

}  // namespace velmar
