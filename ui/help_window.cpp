#include "ui/help_window.h"

#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "ui/product_info.h"
#include "ui/shell_open.h"

// The help pages live in this static library; referencing their
// initialiser keeps the linker from dropping them.
static void InitHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace corvane::ui {

QString FindInstalledHelp(const QString& programFolder) {
    if (programFolder.isEmpty()) {
        return QString();
    }
    const QFileInfo page(
        QDir(programFolder).filePath(QStringLiteral("../share/corvane/help/index.html")));
    return page.isFile() ? QDir::cleanPath(page.absoluteFilePath()) : QString();
}

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    static const bool resourcesReady = [] {
        InitHelpResources();
        return true;
    }();
    static_cast<void>(resourcesReady);
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(kProductName + QStringLiteral(" Help"));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenLinks(false);
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        const QUrl target = browser_->source().resolved(link);
        if (target.scheme() == QLatin1String("qrc")) {
            browser_->setSource(target);
        } else {
            ShellOpen(link.toString(), ShellShow::Normal);
        }
    });
    browser_->setSource(QUrl(QStringLiteral("qrc") + kHelpResource));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(720, 640);
}

QUrl THelpWindow::Source() const {
    return browser_->source();
}

QString THelpWindow::PlainText() const {
    return browser_->toPlainText();
}

}  // namespace corvane::ui
