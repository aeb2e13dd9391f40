// A whole-number spin field: a one-line text box with up and down arrow
// buttons at its right end. The text is the truth; the value is read from it
// on demand and written back only through SetValue, the arrows, the Up and
// Down keys and the clamp when the focus leaves.
#pragma once

#include <QLineEdit>
#include <QTimer>

#include <cstdint>

namespace corvane::ui {

class TSpinEdit;

// One of the two arrow buttons. A press steps the field once; held down
// with the pointer on it, it steps again after InitRepeatPause ms and then
// every RepeatPause ms. Moving the pointer off the button pauses the repeat,
// moving it back on resumes it; releasing the button ends it.
class TSpinArrowButton : public QWidget {
    Q_OBJECT
  public:
    static constexpr int InitRepeatPause = 400;
    static constexpr int RepeatPause = 100;

    TSpinArrowButton(TSpinEdit* field, bool up);
    bool IsUp() const { return up_; }
    // True while the left button is held with the pointer on the arrow.
    bool IsDown() const { return down_ && over_; }
    const QTimer& RepeatTimer() const { return repeat_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Step();
    void EndPress();
    void RepeatTimerExpired();

    TSpinEdit* field_;
    bool up_;
    bool down_ = false;  // left button pressed on this arrow and not yet released
    bool over_ = false;  // pointer on the arrow while down_
    QTimer repeat_;
};

class TSpinEdit : public QLineEdit {
    Q_OBJECT
  public:
    // At most this many characters can be typed or pasted into the field;
    // longer texts come only from SetValue.
    static constexpr int MaxTypedLength = 2;

    explicit TSpinEdit(QWidget* parent = nullptr);

    std::int32_t MinValue() const { return min_; }
    std::int32_t MaxValue() const { return max_; }
    void SetMinValue(std::int32_t v) { min_ = v; }
    void SetMaxValue(std::int32_t v) { max_ = v; }
    std::int32_t Increment() const { return increment_; }
    void SetIncrement(std::int32_t v) { increment_ = v; }

    // The text as a decimal integer with an optional sign; MinValue when it
    // does not parse (empty, a lone sign, out of the 32-bit range...).
    // Never changes the text.
    std::int32_t Value() const;
    // Writes the decimal text of CheckValue(v).
    void SetValue(std::int64_t v);
    // v clamped into MinValue..MaxValue; unchanged when the two are equal
    // (within the 32-bit range either way).
    std::int32_t CheckValue(std::int64_t v) const;

    // Value() plus or minus Increment(), then SetValue.
    void UpClick();
    void DownClick();

    TSpinArrowButton* UpButton() const { return up_; }
    TSpinArrowButton* DownButton() const { return down_; }

    // Whether a character may be typed at all: '0'..'9', '+', '-', the
    // locale's decimal separator, or a control character.
    static bool IsValidChar(QChar c);

  signals:
    // Typed or pasted input was refused with a beep.
    void Refused();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void PasteClipboard();
    // Inserts user text in place of the selection when every character is
    // valid and the result keeps within MaxTypedLength; otherwise refuses.
    bool InsertTyped(const QString& text, bool beepOnRefusal);
    void LayoutButtons();

    std::int32_t min_ = 0;
    std::int32_t max_ = 0;
    std::int32_t increment_ = 1;
    TSpinArrowButton* up_ = nullptr;
    TSpinArrowButton* down_ = nullptr;
};

}  // namespace corvane::ui
