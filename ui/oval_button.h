// A push button drawn as an ellipse filling its rectangle: a bevelled rim in
// a lighter and a darker shade of its face colour, an optional glyph beside
// the caption, a pressed look while held, an optional flat mode (rim only
// while the pointer is over it) and an optional toggle mode. Clicks count
// only inside the ellipse. The button takes the keyboard focus and answers
// Space and Enter; it can be drawn smooth (antialiased) or pixel for pixel.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QPainter;

namespace corvane::ui {

// Where the glyph sits relative to the caption. The order is the button's
// own, glyph-bottom first.
enum TButtonLayout { blGlyphBottom = 0, blGlyphLeft = 1, blGlyphRight = 2, blGlyphTop = 3 };

enum class TBevelState { Lowered = -1, None = 0, Raised = 1 };

class TOvalButton : public QWidget {
    Q_OBJECT
  public:
    explicit TOvalButton(QWidget* parent = nullptr);
    ~TOvalButton() override;

    // Rim rings of one pixel each, 1..10 (other values are brought into that
    // range); a new button has 0, no rim.
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);

    // One line; "&" marks the accelerator letter, "&&" is a plain "&".
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    // Face colour: a fixed colour, or a palette role resolved when used (a
    // new button follows QPalette::Button). Setting it recomputes the rim
    // shades.
    QColor Color() const;
    void SetColor(const QColor& color);
    void SetSystemColor(QPalette::ColorRole role);

    bool Down() const { return down_; }
    void SetDown(bool down);

    bool Flat() const { return flat_; }
    void SetFlat(bool flat);

    // The caption font, the button's own; the parent's font does not affect
    // it. A new button has 8-point "MS Sans Serif".
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& font);
    // Caption colour; the palette's window-text colour until set.
    QColor FontColor() const;
    void SetFontColor(const QColor& color);

    // A strip of NumGlyphs equal cells: normal, disabled, pressed. Setting it
    // copies the image and takes TransparentColor from its bottom-left pixel.
    const QImage& Glyph() const { return glyph_; }
    void SetGlyph(const QImage& glyph);

    // Non-zero makes the button a toggle.
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int index) { groupIndex_ = index; }

    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);

    int Margin() const { return margin_; }
    void SetMargin(int margin);

    // 0..4; 0 means the glyph is not drawn.
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int count);

    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);

    // Face not filled; the parent shows through.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);

    // Glyph pixels of this colour are not copied.
    QColor TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(const QColor& color);

    // Antialiased edges, rim and outline. A new button is drawn pixel for
    // pixel, without smoothing.
    bool Smooth() const { return smooth_; }
    void SetSmooth(bool smooth);

    // Inside the ellipse that fills the rectangle 0,0 to width, height.
    bool PtInOval(int x, int y) const;

    // A typed character offered by the form: true (handled) when it is the
    // caption's accelerator letter, which clicks the button if it is enabled
    // (and, like every click, only while the pointer is over the ellipse).
    bool DialogChar(QChar ch);

    // Internal state, for the window that hosts the button and for tests.
    TBevelState BevelState() const { return bevelState_; }
    bool MouseInside() const { return mouseInside_; }
    bool Tracking() const { return tracking_; }
    QColor HighlightColor() const { return highlightColor_; }
    QColor ShadowColor() const { return shadowColor_; }

  signals:
    void OnClick();
    void OnDblClick();
    void OnMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void OnMouseMove(Qt::KeyboardModifiers modifiers, int x, int y);
    void OnMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void OnMouseEnter();
    void OnMouseExit();

  protected:
    // OnClick / OnDblClick, only when enabled and the pointer is inside.
    virtual void Click();
    virtual void DblClick();
    virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    virtual void MouseMove(Qt::KeyboardModifiers modifiers, int x, int y);
    virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // A pointer move with no mouse button held: whether the pointer is over
    // the ellipse, and a flat button's rim.
    void Hover(int x, int y);
    // Space or Enter: OnClick when enabled, wherever the pointer is.
    void KeyClick();
    void Paint(QPainter& p);
    void PaintSmooth(QPainter& p);
    void PaintSmoothBevel(QPainter& p);
    void PaintFocus(QPainter& p);
    void PaintBevel(QPainter& p);
    void PaintFace(QPainter& p);
    void DrawGlyph(QPainter& p, const QRect& source, const QRect& dest);

    // A full repaint of the face from the current state.
    void Invalidate();
    // Redraw the face (and rim) in the current state, or the rim alone,
    // leaving the face as it was last drawn.
    void PaintFaceNow();
    void PaintBevelNow();
    void UpdateShades();

    struct Raster;
    const Raster& CurrentRaster() const;

    int bevelWidth_ = 0;
    QString caption_;
    QColor color_;
    std::optional<QPalette::ColorRole> colorRole_ = QPalette::Button;
    bool down_ = false;
    bool flat_ = false;
    QFont font_;
    std::optional<QColor> fontColor_;
    QImage glyph_;
    int groupIndex_ = 0;
    TButtonLayout layout_ = blGlyphBottom;
    int margin_ = 0;
    int numGlyphs_ = 0;
    int spacing_ = 4;
    bool transparent_ = false;
    QColor transparentColor_ = QColor(0, 0, 0);
    bool smooth_ = false;
    // Space held down on the focused button: the pressed look until released.
    bool keyDown_ = false;

    TBevelState bevelState_ = TBevelState::Raised;
    bool mouseInside_ = false;
    bool tracking_ = false;
    bool downAtPress_ = false;
    QColor highlightColor_;
    QColor shadowColor_;

    // Painting happens in paintEvent only. faceState_ is the bevel state the
    // face (glyph and caption) was last drawn in; a rim-only redraw keeps it,
    // a face redraw or a full repaint brings it up to date.
    TBevelState faceState_ = TBevelState::Raised;
    bool fullRepaint_ = true;
    bool clickPending_ = false;
    mutable std::unique_ptr<Raster> raster_;  // pixels of the ellipse, per size
};

// Offers a typed character to the oval buttons inside form, in creation
// order, the way a form looks for the control whose accelerator it is.
// True when one of them took it.
bool OfferDialogChar(QWidget* form, QChar ch);

}  // namespace corvane::ui
