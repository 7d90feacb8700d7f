#include "core/title_editor_model.h"

#include <QUndoCommand>

namespace velmar {

// One recorded step: the document before and after. Steps with a key merge while the model
// still holds that key open.
class TitleEditorModel::Change final : public QUndoCommand {
  public:
    Change(TitleEditorModel& model, TitleDocument before, TitleDocument after, QString key)
        : model_(model),
          before_(std::move(before)),
          after_(std::move(after)),
          key_(std::move(key)) {}

    void undo() override { model_.setDocument(before_); }
    void redo() override { model_.setDocument(after_); }
    int id() const override { return key_.isEmpty() ? -1 : 1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const Change*>(other);
        if (next->key_ != key_ || !model_.merging_) return false;
        after_ = next->after_;
        return true;
    }

  private:
    TitleEditorModel& model_;
    TitleDocument before_;
    TitleDocument after_;
    QString key_;
};

TitleEditorModel::TitleEditorModel(TitleDocument initial, HostClock& clock, QObject* parent)
    : QObject(parent), document_(std::move(initial)), clock_(clock), lastChange_(clock.now()) {}

TitleEditorModel::~TitleEditorModel() {
    // The commands refer back to this model; drop them before its members go.
    undoStack_.clear();
}

void TitleEditorModel::setDocument(const TitleDocument& document) {
    if (document == document_) return;
    document_ = document;
    emit documentChanged();
}

void TitleEditorModel::record(const TitleDocument& before, const TitleDocument& after,
                              const QString& key) {
    const double now = clock_.now();
    merging_ = !key.isEmpty() && coalescingKey_ == key && now - lastChange_ <= kCoalescingWindow;
    coalescingKey_ = key.isEmpty() ? std::nullopt : std::optional<QString>(key);
    lastChange_ = now;
    undoStack_.push(new Change(*this, before, after, key));
    merging_ = false;
}

void TitleEditorModel::apply(const TitleDocument& changed, const QString& key) {
    if (changed == document_) return;
    if (styleSnapshot_) {  // inside a style edit: recorded as one step at its end
        setDocument(changed);
        return;
    }
    const QString effectiveKey = sliderKey_ ? QStringLiteral("slider:") + *sliderKey_ : key;
    if (sliderKey_) lastChange_ = clock_.now();  // a drag never times out of its step
    record(document_, changed, effectiveKey);
}

void TitleEditorModel::beginSliderEdit(const QString& key) {
    sliderKey_ = key;
    coalescingKey_.reset();
}

void TitleEditorModel::endSliderEdit() {
    sliderKey_.reset();
    coalescingKey_.reset();
}

void TitleEditorModel::beginStyleEdit() {
    if (styleSnapshot_) return;
    styleSnapshot_ = document_;
    coalescingKey_.reset();
}

void TitleEditorModel::setDocumentWithoutRecording(const TitleDocument& changed) {
    setDocument(changed);
}

void TitleEditorModel::endStyleEdit(bool commit) {
    if (!styleSnapshot_) return;
    const TitleDocument before = *styleSnapshot_;
    styleSnapshot_.reset();
    if (!commit) {
        setDocument(before);
        return;
    }
    if (before != document_) record(before, document_, QString());
}

void TitleEditorModel::undo() {
    if (styleSnapshot_) return;
    coalescingKey_.reset();
    undoStack_.undo();
}

void TitleEditorModel::redo() {
    if (styleSnapshot_) return;
    coalescingKey_.reset();
    undoStack_.redo();
}

}  // namespace velmar
