#include "ui/picture_button.h"

#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace corvane::ui {

TPictureButton::TPictureButton(QWidget* parent) : QPushButton(parent) {}

void TPictureButton::SetPicture(const QIcon& picture, QSize size) {
    picture_ = picture;
    pictureSize_ = size;
    update();
}

void TPictureButton::SetSpacing(int spacing) {
    spacing_ = spacing;
    update();
}

int TPictureButton::CaptionWidth() const {
    QString shown = text();
    shown.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return fontMetrics().horizontalAdvance(shown);
}

QRect TPictureButton::PictureRect() const {
    const bool hasPicture = !picture_.isNull() && pictureSize_.isValid();
    const QSize ps = hasPicture ? pictureSize_ : QSize(0, 0);
    const int captionWidth = text().isEmpty() ? 0 : CaptionWidth();
    const int gap = hasPicture && captionWidth > 0 ? spacing_ : 0;
    const int total = ps.width() + gap + captionWidth;
    const int left = (width() - total) / 2;
    return QRect(left, (height() - ps.height()) / 2, ps.width(), ps.height());
}

QRect TPictureButton::CaptionRect() const {
    const QRect pic = PictureRect();
    const int gap = pic.width() > 0 && !text().isEmpty() ? spacing_ : 0;
    const int h = fontMetrics().height();
    return QRect(pic.right() + 1 + gap, (height() - h) / 2, CaptionWidth(), h);
}

void TPictureButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    p.drawControl(QStyle::CE_PushButtonBevel, option);

    const bool pressed = isDown() || isChecked();
    const QPoint shift = pressed ? QPoint(1, 1) : QPoint(0, 0);
    const QRect pic = PictureRect().translated(shift);
    if (pic.width() > 0) {
        const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
        p.drawPixmap(pic, picture_.pixmap(pictureSize_, devicePixelRatio(), mode));
    }
    if (!text().isEmpty()) {
        style()->drawItemText(&p, CaptionRect().translated(shift),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                              isEnabled(), text(), QPalette::ButtonText);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = style()->subElementRect(QStyle::SE_PushButtonFocusRect, &option, this);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace corvane::ui
