#include "ui/spin_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <limits>

#include "base/integer_text.h"

namespace corvane::ui {

namespace {

// The arrow buttons: wide enough to hit, with arrows that can be seen.
constexpr int kButtonWidth = 18;

bool IsControlChar(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

bool IsControlText(const QString& text) {
    for (QChar c : text) {
        if (!IsControlChar(c)) {
            return false;
        }
    }
    return true;
}

// The Paste item of QLineEdit's standard shortcut menu: named "edit-paste"
// by newer Qt versions, known by its (translated) text before.
bool IsPasteAction(const QAction* action) {
    if (action->objectName() == QLatin1String("edit-paste")) {
        return true;
    }
    const QString paste = QCoreApplication::translate("QLineEdit", "&Paste");
    return action->text().section(QLatin1Char('\t'), 0, 0) == paste;
}

}  // namespace

// ---------------------------------------------------------------------------
// TSpinArrowButton

TSpinArrowButton::TSpinArrowButton(TSpinEdit* field, bool up)
    : QWidget(field), field_(field), up_(up) {
    setObjectName(up ? QStringLiteral("UpButton") : QStringLiteral("DownButton"));
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
    repeat_.setSingleShot(false);
    repeat_.setTimerType(Qt::PreciseTimer);  // never early: the pauses are lower bounds
    QObject::connect(&repeat_, &QTimer::timeout, this, [this] { RepeatTimerExpired(); });
}

void TSpinArrowButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionButton panel;
    panel.initFrom(this);
    panel.state |= IsDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &panel, &p, this);

    // A solid triangle, shifted by a pixel while pressed.
    const int w = 9;
    const int h = 5;
    const int shift = IsDown() ? 1 : 0;
    const int x = (width() - w) / 2 + shift;
    const int y = (height() - h) / 2 + shift;
    QPolygon arrow;
    if (up_) {
        arrow << QPoint(x, y + h) << QPoint(x + w, y + h) << QPoint(x + w / 2 + 1, y)
              << QPoint(x + w / 2, y);
    } else {
        arrow << QPoint(x, y) << QPoint(x + w, y) << QPoint(x + w / 2 + 1, y + h)
              << QPoint(x + w / 2, y + h);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink = isEnabled() ? palette().color(QPalette::ButtonText)
                                   : palette().color(QPalette::Disabled, QPalette::ButtonText);
    p.setPen(ink);
    p.setBrush(ink);
    p.drawPolygon(arrow);
}

void TSpinArrowButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    if (!field_->hasFocus() && field_->isEnabled()) {
        field_->setFocus(Qt::MouseFocusReason);
    }
    down_ = true;
    over_ = true;
    update();
    repeat_.start(InitRepeatPause);
    Step();
}

void TSpinArrowButton::mouseMoveEvent(QMouseEvent* event) {
    if (!down_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const bool over = rect().contains(event->position().toPoint());
    if (over != over_) {
        over_ = over;
        update();
    }
}

void TSpinArrowButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    EndPress();
}

void TSpinArrowButton::hideEvent(QHideEvent* event) {
    // A dialog closed while an arrow is held must not keep stepping.
    EndPress();
    QWidget::hideEvent(event);
}

void TSpinArrowButton::EndPress() {
    repeat_.stop();
    if (down_) {
        down_ = false;
        over_ = false;
        update();
    }
}

void TSpinArrowButton::Step() {
    if (up_) {
        field_->UpClick();
    } else {
        field_->DownClick();
    }
}

void TSpinArrowButton::RepeatTimerExpired() {
    if (!down_) {
        repeat_.stop();
        return;
    }
    if (repeat_.interval() != RepeatPause) {
        repeat_.setInterval(RepeatPause);
    }
    if (over_) {
        Step();
    }
}

// ---------------------------------------------------------------------------
// TSpinEdit

TSpinEdit::TSpinEdit(QWidget* parent) : QLineEdit(parent) {
    up_ = new TSpinArrowButton(this, true);
    down_ = new TSpinArrowButton(this, false);
    setTextMargins(0, 0, kButtonWidth, 0);
    // Every way text gets in goes through InsertTyped: no drops, no input
    // method composition.
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setText(QStringLiteral("0"));
    LayoutButtons();
}

std::int32_t TSpinEdit::Value() const {
    // Anything but an optional sign and ASCII digits within 32 bits reads as
    // the minimum.
    std::int32_t value = 0;
    return base::TryReadDecimalInt32(text().toStdString(), value) ? value : min_;
}

std::int32_t TSpinEdit::CheckValue(std::int64_t v) const {
    if (max_ != min_) {
        if (v < min_) {
            v = min_;
        } else if (v > max_) {
            v = max_;
        }
    }
    // An unbounded field stops at the ends of the 32-bit range instead of
    // wrapping round to the other end.
    if (v < std::numeric_limits<std::int32_t>::min()) {
        v = std::numeric_limits<std::int32_t>::min();
    } else if (v > std::numeric_limits<std::int32_t>::max()) {
        v = std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(v);
}

void TSpinEdit::SetValue(std::int64_t v) {
    setText(QString::number(CheckValue(v)));
}

void TSpinEdit::UpClick() {
    SetValue(std::int64_t{Value()} + increment_);
}

void TSpinEdit::DownClick() {
    SetValue(std::int64_t{Value()} - increment_);
}

bool TSpinEdit::IsValidChar(QChar c) {
    if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') ||
        c == QLatin1Char('-') || IsControlChar(c)) {
        return true;
    }
    const QString sep = QLocale().decimalPoint();
    return sep.size() == 1 && c == sep[0];
}

bool TSpinEdit::InsertTyped(const QString& typed, bool beepOnRefusal) {
    for (QChar c : typed) {
        if (!IsValidChar(c) || IsControlChar(c)) {
            if (beepOnRefusal) {
                emit Refused();
                QApplication::beep();
            }
            return false;
        }
    }
    const qsizetype after = text().size() - selectedText().size() + typed.size();
    if (after > MaxTypedLength) {
        return false;
    }
    insert(typed);
    return true;
}

void TSpinEdit::PasteClipboard() {
    if (isReadOnly()) {
        return;
    }
    const QString clip = QApplication::clipboard()->text(QClipboard::Clipboard);
    if (!clip.isEmpty()) {
        InsertTyped(clip, true);
    }
}

void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        UpClick();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Down) {
        DownClick();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        PasteClipboard();
        event->accept();
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && !IsControlText(typed) && !isReadOnly()) {
        InsertTyped(typed, true);
        event->accept();
        return;
    }
    // Control keys: editing, moving the cursor, Enter and Escape (which go on
    // to the window).
    QLineEdit::keyPressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The focus moving to another control clamps; the window losing the
    // focus, or a menu popping up, does not, since the focus comes back here.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
        return;
    }
    const std::int32_t v = Value();
    if (CheckValue(v) != v) {
        SetValue(v);
    }
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    LayoutButtons();
}

void TSpinEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    // The standard Paste inserts anything; route it through the same rules
    // as typing.
    for (QAction* action : menu->actions()) {
        if (IsPasteAction(action)) {
            action->disconnect(this);
            QObject::connect(action, &QAction::triggered, this, [this] { PasteClipboard(); });
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TSpinEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
        // The selection paste of X11, under the rules of typing.
        if (!isReadOnly()) {
            const QString sel = QApplication::clipboard()->text(QClipboard::Selection);
            if (!sel.isEmpty()) {
                deselect();
                InsertTyped(sel, true);
            }
        }
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TSpinEdit::LayoutButtons() {
    const int h = height();
    const int x = width() - kButtonWidth - 1;
    const int top = h / 2;
    up_->setGeometry(x, 1, kButtonWidth, top - 1);
    down_->setGeometry(x, top, kButtonWidth, h - top - 1);
}

}  // namespace corvane::ui
