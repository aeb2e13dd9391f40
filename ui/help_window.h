// The program's help: HTML pages installed with the program (for the
// desktop's browser) and compiled into it (for a help window of its own,
// used when no installed copy is found or the desktop cannot open it).
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace corvane::ui {

// Where the help's start page is compiled in.
inline const QString kHelpResource = QStringLiteral(":/corvane/help/index.html");

// The installed start page for a program in `programFolder` (a "bin"
// folder, with a trailing "/"): "../share/corvane/help/index.html" from it,
// as an absolute path; empty when there is no such file.
QString FindInstalledHelp(const QString& programFolder);

// A window that shows the compiled-in help. Links within the help move in
// it; other addresses go to the desktop.
class THelpWindow : public QWidget {
    Q_OBJECT
  public:
    explicit THelpWindow(QWidget* parent = nullptr);

    // The page shown, and its text as plain text.
    QUrl Source() const;
    QString PlainText() const;

  private:
    QTextBrowser* browser_ = nullptr;
};

}  // namespace corvane::ui
