#include "ui/url_label.h"

#include <QApplication>
#include <QBitmap>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>

#include "ui/fonts.h"
#include "ui/pictures.h"
#include "ui/shell_open.h"

namespace corvane::ui {

namespace {

QString AsciiLower(const QString& text) {
    QString lower = text;
    for (QChar& c : lower) {
        if (c >= u'A' && c <= u'Z') {
            c = QChar(c.unicode() + (u'a' - u'A'));
        }
    }
    return lower;
}

// Owned by the application object, so the pointer goes away with it.
class SharedCursor : public QObject {
  public:
    explicit SharedCursor(QObject* owner) : QObject(owner) {
        EnsureUiResources();
        const QPixmap image(QStringLiteral(":/corvane/urlcursor_1.xpm"));
        cursor = image.isNull() ? QCursor(Qt::PointingHandCursor) : QCursor(image, 5, 0);
    }
    QCursor cursor;
};

}  // namespace

QString URLPrefix(TURLType type) {
    switch (type) {
        case utFTP:
            return QStringLiteral("ftp://");
        case utMailTo:
            return QStringLiteral("mailto:");
        case utHTTP:
            break;
    }
    return QStringLiteral("http://");
}

QString URLTarget(TURLType type, const QString& caption) {
    const QString prefix = URLPrefix(type);
    if (AsciiLower(caption).contains(prefix)) {
        return caption;
    }
    return prefix + caption;
}

const QCursor& URLCursor() {
    static QPointer<SharedCursor> shared;
    if (!shared) {
        shared = new SharedCursor(QCoreApplication::instance());
    }
    return shared->cursor;
}

TURLLabel::TURLLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);  // a caption is an address, never markup
    QFont own = DesignFont(kSansSerifFace, 8);
    own.setUnderline(true);
    setFont(own);  // set explicitly, so the parent's font does not reach it
    setCursor(URLCursor());
    SetTransparent(false);
    SetCaption(kDefaultCaption);
}

void TURLLabel::SetCaption(const QString& caption) {
    setText(caption);
    if (autoSize_) {
        adjustSize();
    }
}

void TURLLabel::SetAutoSize(bool on) {
    autoSize_ = on;
    if (autoSize_) {
        adjustSize();
    }
}

void TURLLabel::SetTextColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
}

void TURLLabel::Click() {
    emit OnClick();
    ShellOpen(Target(), ShellShow::Normal);
}

void TURLLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = true;
    }
    QLabel::mousePressEvent(event);
}

void TURLLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !pressed_) {
        return;
    }
    pressed_ = false;
    if (isEnabled() && rect().contains(event->position().toPoint())) {
        Click();
    }
}

void TURLLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    SetTextColor(QColor(0, 0, 255));
}

void TURLLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    SetTextColor(QColor(0, 0, 0));
}

}  // namespace corvane::ui
