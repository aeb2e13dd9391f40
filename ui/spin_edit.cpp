#include "ui/spin_edit.h"

namespace corvane::ui {

TSpinArrowButton::TSpinArrowButton(TSpinEdit* field, bool up)
    : QWidget(field), field_(field), up_(up) {}
void TSpinArrowButton::paintEvent(QPaintEvent*) {}
void TSpinArrowButton::mousePressEvent(QMouseEvent*) {}
void TSpinArrowButton::mouseMoveEvent(QMouseEvent*) {}
void TSpinArrowButton::mouseReleaseEvent(QMouseEvent*) {}
void TSpinArrowButton::Step() {}
void TSpinArrowButton::RepeatTimerExpired() {}

TSpinEdit::TSpinEdit(QWidget* parent) : QLineEdit(parent) {
    up_ = new TSpinArrowButton(this, true);
    down_ = new TSpinArrowButton(this, false);
}
std::int32_t TSpinEdit::Value() const { return min_; }
void TSpinEdit::SetValue(std::int64_t v) { setText(QString::number(CheckValue(v))); }
std::int32_t TSpinEdit::CheckValue(std::int64_t v) const { return static_cast<std::int32_t>(v); }
void TSpinEdit::UpClick() {}
void TSpinEdit::DownClick() {}
bool TSpinEdit::IsValidChar(QChar) { return true; }
void TSpinEdit::keyPressEvent(QKeyEvent* e) { QLineEdit::keyPressEvent(e); }
void TSpinEdit::focusOutEvent(QFocusEvent* e) { QLineEdit::focusOutEvent(e); }
void TSpinEdit::resizeEvent(QResizeEvent* e) { QLineEdit::resizeEvent(e); }
void TSpinEdit::contextMenuEvent(QContextMenuEvent* e) { QLineEdit::contextMenuEvent(e); }
void TSpinEdit::mouseReleaseEvent(QMouseEvent* e) { QLineEdit::mouseReleaseEvent(e); }
void TSpinEdit::PasteClipboard() {}
bool TSpinEdit::InsertTyped(const QString&, bool) { return false; }
void TSpinEdit::LayoutButtons() {}

}  // namespace corvane::ui
