#include "ui/panels/duration_editor_sheet.h"

#include "core/playout_engine.h"
#include "models/localized.h"
#include "ui/controls/palette.h"
#include "ui/panels/duration_common.h"
#include "ui/panels/duration_entry_pad.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace velmar {

DurationEditorSheet::DurationEditorSheet(PlayoutEngine& engine, Context context, QWidget* parent)
    : QDialog(parent), engine_(engine), context_(std::move(context)) {
    setWindowModality(Qt::WindowModal);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);
    setFixedWidth(200);

    title_ = new QLabel(this);
    title_->setTextFormat(Qt::PlainText);
    QFont bold = font();
    bold.setPixelSize(13);
    bold.setBold(true);
    title_->setFont(bold);
    column->addWidget(title_);
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    QFont small = font();
    small.setPixelSize(10);
    note_->setFont(small);
    useSecondaryText(note_);
    column->addWidget(note_);

    // The pad starts at the targets' shared duration, else at the default duration.
    const Rundown& rundown = engine_.rundown();
    const auto group = rundown.currentGroup();
    const auto common = commonDuration(group ? group->clips : QList<Clip>(),
                                       context_.targets ? context_.targets() : QSet<QUuid>());
    const double initial = common && *common ? **common : engine_.fadeDuration();
    pad_ = new DurationEntryPad(
        initial, {0.1, 5.0}, L10N_KEY("デュレーション（秒）"), false, false,
        [this](std::optional<double> value) {
            if (value) {
                engine_.rundown().setMotionDuration(
                    value, context_.targets ? context_.targets() : QSet<QUuid>());
            }
            finish(QDialog::Accepted);
        },
        [this] { finish(QDialog::Rejected); }, this);
    column->addWidget(pad_);

    connect(&engine_.rundown(), &Rundown::selectionChanged, this, &DurationEditorSheet::refresh);
    connect(&engine_.rundown(), &Rundown::clipsChanged, this, &DurationEditorSheet::refresh);
    retranslate();
}

void DurationEditorSheet::retranslate() {
    note_->setText(localized("選択していないので、このタブの素材すべてが対象です。"));
    refresh();
}

void DurationEditorSheet::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QDialog::changeEvent(event);
}

DurationEditorSheet::DurationEditorSheet(AppState& app, PlayoutEngine& engine,
                                         AppState::DurationEditor target, QWidget* parent)
    : DurationEditorSheet(engine, contextFor(app, target), parent) {}

DurationEditorSheet::Context DurationEditorSheet::contextFor(AppState& app,
                                                             AppState::DurationEditor target) {
    return {target == AppState::DurationEditor::bulk,
            [&app, target] { return app.durationTargets(target); },
            [&app] { app.setDurationEditor(std::nullopt); }};
}

QString DurationEditorSheet::title() const {
    if (context_.bulk) {
        const auto count = context_.targets ? context_.targets().size() : 0;
        return localizedFormat("%lld 件のデュレーション", {static_cast<long long>(count)});
    }
    const auto clip = engine_.rundown().selectedClip();
    return clip ? clip->displayName : localized("デュレーション");
}

bool DurationEditorSheet::showsNote() const {
    return context_.bulk && engine_.rundown().reorderSelection().isEmpty();
}

void DurationEditorSheet::refresh() {
    const QString text = title();
    title_->setText(title_->fontMetrics().elidedText(text, Qt::ElideMiddle, 172));
    title_->setToolTip(text);
    note_->setVisible(showsNote());
}

void DurationEditorSheet::reject() {
    finish(QDialog::Rejected);
}

void DurationEditorSheet::finish(int result) {
    if (finished_) return;
    finished_ = true;
    done(result);
    // Last: the owner may delete the sheet in answer (with deleteLater, as the pad that called
    // in here is still on the stack).
    if (context_.close) context_.close();
}

}  // namespace velmar
