// The file prompts of the main window's Open and Save commands, behind one
// replaceable handler so that tests can answer them without a modal dialog.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace corvane::ui {

enum class FileDialogKind { Open, Save };

// What a prompt asks for: the settings of an open-file or save-file dialog.
struct FileDialogRequest {
    FileDialogKind Kind = FileDialogKind::Open;
    QWidget* Parent = nullptr;
    QString InitialDir;     // the folder the dialog starts in
    QString Filter;         // Qt form, e.g. "Corvane files (*.cvn)"
    QString DefaultSuffix;  // added to a name typed without one, e.g. "cvn"
};

// The chosen file's path, or an empty text when the user cancelled.
using FileDialogHandler = std::function<QString(const FileDialogRequest& request)>;

// Asks the current handler (the modal QFileDialog when none is installed).
QString AskFileName(const FileDialogRequest& request);

// The prompt used when no handler is installed: a modal QFileDialog. The
// open prompt accepts existing files only; the save prompt asks before
// replacing one.
QString RunFileDialog(const FileDialogRequest& request);

// Installs handler (an empty one restores RunFileDialog) and returns the
// one it replaces.
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);

class ScopedFileDialogHandler {
  public:
    explicit ScopedFileDialogHandler(FileDialogHandler handler)
        : previous_(SetFileDialogHandler(std::move(handler))) {}
    ~ScopedFileDialogHandler() { SetFileDialogHandler(std::move(previous_)); }
    ScopedFileDialogHandler(const ScopedFileDialogHandler&) = delete;
    ScopedFileDialogHandler& operator=(const ScopedFileDialogHandler&) = delete;

  private:
    FileDialogHandler previous_;
};

}  // namespace corvane::ui
