#include "app/document_dialogs_qt.h"

#include "platform/base/toolkit_dialog_state.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace velmar {

namespace {

QMessageBox::ButtonRole qtRole(DocumentDialogs::ButtonRole role) {
    switch (role) {
        case DocumentDialogs::ButtonRole::accept:
            return QMessageBox::AcceptRole;
        case DocumentDialogs::ButtonRole::destructive:
            return QMessageBox::DestructiveRole;
        case DocumentDialogs::ButtonRole::reject:
            return QMessageBox::RejectRole;
    }
    return QMessageBox::RejectRole;
}

// The box with its buttons; `buttons` receives them in the order given.
QMessageBox* makeBox(const DocumentDialogs::Alert& alert, QWidget* parent,
                     QList<QAbstractButton*>& buttons) {
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setText(alert.message);
    box->setInformativeText(alert.informativeText);
    for (const auto& button : alert.buttons) {
        auto* push = box->addButton(button.title, qtRole(button.role));
        // A destructive button never answers Return, not even when Qt would otherwise pick the
        // first button as the default (a box without any other button).
        if (button.role == DocumentDialogs::ButtonRole::destructive) push->setAutoDefault(false);
        buttons << push;
    }
    // The default button also takes the focus, so Space presses it rather than the first one.
    if (const int index = alert.defaultIndex(); index >= 0)
        box->setDefaultButton(qobject_cast<QPushButton*>(buttons[index]));
    // Only the cancel button answers Escape; without one, Escape and closing do nothing.
    if (const int index = alert.cancelIndex(); index >= 0) box->setEscapeButton(buttons[index]);
    return box;
}

void configure(QFileDialog& dialog, const DocumentDialogs::OpenPanel& panel) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowTitle(panel.message);
    if (panel.choosesDirectories && !panel.choosesFiles) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog.setFileMode(panel.allowsMultiple ? QFileDialog::ExistingFiles
                                                : QFileDialog::ExistingFile);
    }
    if (!panel.allowedExtensions.isEmpty()) {
        QStringList patterns;
        for (const QString& ext : panel.allowedExtensions) patterns << "*." + ext;
        dialog.setNameFilter(patterns.join(u' '));
    }
}

std::optional<QList<QUrl>> chosen(const QFileDialog& dialog, int result) {
    if (result != QDialog::Accepted) return std::nullopt;
    QList<QUrl> urls = dialog.selectedUrls();
    if (urls.isEmpty()) return std::nullopt;
    return urls;
}

}  // namespace

int DocumentDialogsQt::runAlert(const Alert& alert, QWidget* parent) {
    QList<QAbstractButton*> buttons;
    std::unique_ptr<QMessageBox> box(makeBox(alert, parent, buttons));
    box->exec();
    return static_cast<int>(buttons.indexOf(box->clickedButton()));
}

void DocumentDialogsQt::showWindowModal(const Alert& alert, QWidget* window) {
    QList<QAbstractButton*> buttons;
    QMessageBox* box = makeBox(alert, window, buttons);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

std::optional<QUrl> DocumentDialogsQt::runSavePanel(const SavePanel& panel, QWidget* parent) {
    ToolkitDialog<QFileDialog> dialog(parent, panel.message);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(panel.proposedName);
    const auto urls = chosen(dialog, dialog.exec());
    if (!urls) return std::nullopt;
    return urls->first();
}

std::optional<QList<QUrl>> DocumentDialogsQt::runOpenPanel(const OpenPanel& panel,
                                                           QWidget* parent) {
    ToolkitDialog<QFileDialog> dialog(parent);
    configure(dialog, panel);
    return chosen(dialog, dialog.exec());
}

void DocumentDialogsQt::beginOpenPanel(const OpenPanel& panel, QWidget* parent,
                                       OpenCompletion done) {
    QFileDialog* dialog = new ToolkitDialog<QFileDialog>(parent);
    configure(*dialog, panel);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(
        dialog, &QFileDialog::finished, dialog,
        [dialog, done = std::move(done)](int result) { done(chosen(*dialog, result)); });
    dialog->open();
}

}  // namespace velmar
