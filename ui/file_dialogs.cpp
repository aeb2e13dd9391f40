#include "ui/file_dialogs.h"

#include <QFileDialog>
#include <QStringList>

namespace corvane::ui {

namespace {

FileDialogHandler& Current() {
    static FileDialogHandler handler;
    return handler;
}

}  // namespace

QString RunFileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(request.Parent, QString(), request.InitialDir, request.Filter);
    if (request.Kind == FileDialogKind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    dialog.setDefaultSuffix(request.DefaultSuffix);
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

QString AskFileName(const FileDialogRequest& request) {
    const FileDialogHandler& handler = Current();
    return handler ? handler(request) : RunFileDialog(request);
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler) {
    FileDialogHandler previous = std::move(Current());
    Current() = std::move(handler);
    return previous;
}

}  // namespace corvane::ui
