#pragma once

#include "app/document_dialogs.h"

namespace velmar {

// The document dialogs on Qt: QMessageBox with explicit button roles, QFileDialog panels.
// Main thread only.
class DocumentDialogsQt final : public DocumentDialogs {
  public:
    int runAlert(const Alert& alert, QWidget* parent) override;
    void showWindowModal(const Alert& alert, QWidget* window) override;
    std::optional<QUrl> runSavePanel(const SavePanel& panel, QWidget* parent) override;
    std::optional<QList<QUrl>> runOpenPanel(const OpenPanel& panel, QWidget* parent) override;
    void beginOpenPanel(const OpenPanel& panel, QWidget* parent, OpenCompletion done) override;
};

}  // namespace velmar
