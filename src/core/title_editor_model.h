#pragma once

#include "models/title_document.h"
#include "platform/base/host_clock.h"

#include <QObject>
#include <QUndoStack>

#include <optional>

namespace velmar {

// The editing model of one open title: the document with undo and redo on its own QUndoStack
// (the editor window's undo stack).
//
// Recording: apply(document, key) records one undo step. Successive changes with the same
// non-empty key within `kCoalescingWindow` seconds of the last one merge into that step (typing
// in one field); undo, redo and a change with another key close the open step. A slider drag is
// bracketed by beginSliderEdit(key) / endSliderEdit(): every change in between is one step. A
// style edit (beginStyleEdit, then setDocumentWithoutRecording for the live preview, then
// endStyleEdit(commit)) becomes one step when committed and restores the snapshot when not;
// while it is open undo and redo do nothing.
//
// Main thread only.
class TitleEditorModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(velmar::TitleDocument document READ document NOTIFY documentChanged)

  public:
    static constexpr double kCoalescingWindow = 1.0;

    explicit TitleEditorModel(TitleDocument initial, HostClock& clock = HostClock::system(),
                              QObject* parent = nullptr);
    ~TitleEditorModel() override;

    const TitleDocument& document() const { return document_; }
    QUndoStack* undoManager() { return &undoStack_; }
    const std::optional<QString>& coalescingKey() const { return coalescingKey_; }
    const std::optional<QString>& sliderKey() const { return sliderKey_; }
    const std::optional<TitleDocument>& styleSnapshot() const { return styleSnapshot_; }
    double lastChange() const { return lastChange_; }

    void apply(const TitleDocument& changed, const QString& key = QString());

    void beginSliderEdit(const QString& key);
    void endSliderEdit();

    void beginStyleEdit();
    void setDocumentWithoutRecording(const TitleDocument& changed);
    void endStyleEdit(bool commit);

    void undo();
    void redo();

  signals:
    void documentChanged();

  private:
    class Change;
    friend class Change;
    void setDocument(const TitleDocument& document);
    void record(const TitleDocument& before, const TitleDocument& after, const QString& key);

    TitleDocument document_;
    HostClock& clock_;
    QUndoStack undoStack_;
    std::optional<QString> coalescingKey_;
    double lastChange_ = 0;
    bool merging_ = false;  // the step being pushed may merge into the open one
    std::optional<QString> sliderKey_;
    std::optional<TitleDocument> styleSnapshot_;
};

}  // namespace velmar
