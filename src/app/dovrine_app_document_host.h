#pragma once

#include "app/document_workflow.h"

#include <QPointer>

namespace velmar {

class AppState;

// The document workflow's view of the application state: the project file, the loading and
// file-panel flags, the saved snapshot, the status line and the SDI output, all kept by
// AppState; the control window is the visible window titled "DOVRINE — ...", else `mainWindow`.
class DovrineAppDocumentHost final : public DocumentWorkflow::Host {
  public:
    DovrineAppDocumentHost(AppState& app, QWidget* mainWindow);

    PlayoutEngine& engine() override;
    QUrl projectURL() const override;
    void setProjectURL(const QUrl& url) override;
    bool isProjectLoading() const override;
    void setProjectLoading(bool loading) override;
    std::optional<QByteArray> savedProjectSnapshot() const override;
    void setSavedProjectSnapshot(std::optional<QByteArray> snapshot) override;
    void setStatusMessage(const QString& text) override;
    bool isDeckLinkRunning() const override;
    std::optional<ZRDeckLinkMode> deckLinkRunningMode() const override;
    void stopDeckLink() override;
    void startDeckLink() override;
    QWidget* controlWindow() const override;
    void setFilePanelOpen(QObject* owner, bool open) override;
    bool isFilePanelOpen() const override;
    bool reloadMediaOnActivation() const override;

  private:
    AppState& app_;
    QPointer<QWidget> mainWindow_;
};

}  // namespace velmar
