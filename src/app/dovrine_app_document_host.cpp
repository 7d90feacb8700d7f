#include "app/dovrine_app_document_host.h"

#include "app/app_state.h"

#include <QApplication>
#include <QWidget>

namespace velmar {

DovrineAppDocumentHost::DovrineAppDocumentHost(AppState& app, QWidget* mainWindow)
    : app_(app), mainWindow_(mainWindow) {}

PlayoutEngine& DovrineAppDocumentHost::engine() {
    return app_.engine();
}
QUrl DovrineAppDocumentHost::projectURL() const {
    return app_.projectURL();
}
void DovrineAppDocumentHost::setProjectURL(const QUrl& url) {
    app_.setProjectURL(url);
}
bool DovrineAppDocumentHost::isProjectLoading() const {
    return app_.isProjectLoading();
}
void DovrineAppDocumentHost::setProjectLoading(bool loading) {
    app_.setIsProjectLoading(loading);
}

std::optional<QByteArray> DovrineAppDocumentHost::savedProjectSnapshot() const {
    return app_.savedProjectSnapshot();
}

void DovrineAppDocumentHost::setSavedProjectSnapshot(std::optional<QByteArray> snapshot) {
    app_.setSavedProjectSnapshot(std::move(snapshot));
}

void DovrineAppDocumentHost::setStatusMessage(const QString& text) {
    app_.engine().setLastMessage(text);
}

bool DovrineAppDocumentHost::isDeckLinkRunning() const {
    return app_.isDeckLinkRunning();
}

std::optional<ZRDeckLinkMode> DovrineAppDocumentHost::deckLinkRunningMode() const {
    if (const DeckLinkController* deckLink = app_.deckLink()) return deckLink->runningMode();
    return std::nullopt;
}

void DovrineAppDocumentHost::stopDeckLink() {
    app_.stopDeckLink();
}
void DovrineAppDocumentHost::startDeckLink() {
    app_.startDeckLink();
}

QWidget* DovrineAppDocumentHost::controlWindow() const {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() &&
            window->windowTitle().startsWith(AppState::kControlWindowTitlePrefix)) {
            return window;
        }
    }
    return mainWindow_;
}

void DovrineAppDocumentHost::setFilePanelOpen(QObject* owner, bool open) {
    app_.setFilePanelOpen(owner, open);
}

bool DovrineAppDocumentHost::isFilePanelOpen() const {
    return app_.isFilePanelOpen();
}

bool DovrineAppDocumentHost::reloadMediaOnActivation() const {
    return app_.reloadMediaOnActivation();
}

}  // namespace velmar
