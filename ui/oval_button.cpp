#include "ui/oval_button.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "ui/fonts.h"
#include "ui/rr_colors.h"

namespace corvane::ui {

namespace {

// The rim is lighter by five tenths and darker by four tenths of the face.
constexpr int kHighlightAmount = 5;
constexpr int kShadowAmount = 4;

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic;

// Boxes below are (left, top, right, bottom) with the right and bottom edges
// exclusive: the box 0, 0, 10, 5 holds the pixels 0..9 by 0..4.

// Whether the pixel x, y lies in the ellipse that fills the box: its centre
// is the box's centre and its radii reach the box's outer pixel edges.
bool InEllipse(double x, double y, int left, int top, int right, int bottom) {
    const double a = (right - left) / 2.0, b = (bottom - top) / 2.0;
    if (a <= 0 || b <= 0) {
        return false;
    }
    const double dx = (x - (left + right - 1) / 2.0) / a;
    const double dy = (y - (top + bottom - 1) / 2.0) / b;
    return dx * dx + dy * dy <= 1.0;
}

}  // namespace

// The pixels of a button's ellipse for one size and rim width: the face, the
// outline around it, and the rim rings inside the outline, each ring one
// pixel wide, split into the upper-left and the lower-right half.
struct TOvalButton::Raster {
    QSize size;
    int rings = -1;
    std::vector<QRect> face;  // one span per row
    QPolygon outline;
    QPolygon upperLeft;
    QPolygon lowerRight;
};

namespace {

// Fills raster for a button of w x h with the given number of rim rings.
// The ellipse is the one of the box 0, 0, w - 1, h - 1; the rings are peeled
// off it one after the other, so that each is one pixel wide and touches the
// next without a gap or an overlap. A ring pixel belongs to the upper-left
// half when it lies counter-clockwise between the ray through
// (4 * (w div 5), h div 5) and the ray through (w div 5, 4 * (h div 5)).
void Rasterise(int w, int h, int rings, std::vector<QRect>& face, QPolygon& outline,
               QPolygon& upperLeft, QPolygon& lowerRight) {
    const int bw = std::max(w - 1, 0), bh = std::max(h - 1, 0);
    std::vector<int> depth(static_cast<std::size_t>(bw) * static_cast<std::size_t>(bh),
                           -1);  // -1 outside
    auto at = [&](int x, int y) -> int& {
        return depth[static_cast<std::size_t>(y) * static_cast<std::size_t>(bw) +
                     static_cast<std::size_t>(x)];
    };
    for (int y = 0; y < bh; ++y) {
        int first = -1, last = -1;
        for (int x = 0; x < bw; ++x) {
            if (InEllipse(x, y, 0, 0, bw, bh)) {
                at(x, y) = std::numeric_limits<int>::max();
                first = first < 0 ? x : first;
                last = x;
            }
        }
        if (first >= 0) {
            face.emplace_back(QPoint(first, y), QPoint(last, y));
        }
    }
    auto outside = [&](int x, int y, int ring) {
        return x < 0 || y < 0 || x >= bw || y >= bh || at(x, y) < ring;
    };
    // Ring 0 is the outline; each later ring is the edge of what is left.
    for (int ring = 0; ring <= rings; ++ring) {
        std::vector<QPoint> edge;
        for (int y = 0; y < bh; ++y) {
            for (int x = 0; x < bw; ++x) {
                if (at(x, y) > ring && (outside(x - 1, y, ring) || outside(x + 1, y, ring) ||
                                        outside(x, y - 1, ring) || outside(x, y + 1, ring))) {
                    edge.emplace_back(x, y);
                }
            }
        }
        for (const QPoint& pt : edge) {
            at(pt.x(), pt.y()) = ring;
        }
        if (ring == 0) {
            outline = QPolygon(QList<QPoint>(edge.begin(), edge.end()));
            continue;
        }
        const double cx = (bw - 1) / 2.0, cy = (bh - 1) / 2.0;
        auto angle = [&](double x, double y) { return std::atan2(cy - y, x - cx); };
        const double start = angle(4 * (w / 5), h / 5);
        const double end = angle(w / 5, 4 * (h / 5));
        constexpr double kTurn = 2 * std::numbers::pi;
        auto ccw = [&](double from, double to) {
            double d = std::fmod(to - from, kTurn);
            return d < 0 ? d + kTurn : d;
        };
        const double span = ccw(start, end);
        for (const QPoint& pt : edge) {
            (ccw(start, angle(pt.x(), pt.y())) <= span ? upperLeft : lowerRight) << pt;
        }
    }
}

// A horizontal or vertical line from from towards to, the end point left out.
void DrawLine(QPainter& p, QPoint from, QPoint to, const QColor& color) {
    if (from == to) {
        return;
    }
    QRect pixels;
    if (from.x() == to.x()) {
        const int y0 = from.y() < to.y() ? from.y() : to.y() + 1;
        const int y1 = from.y() < to.y() ? to.y() - 1 : from.y();
        pixels = QRect(QPoint(from.x(), y0), QPoint(from.x(), y1));
    } else {
        const int x0 = from.x() < to.x() ? from.x() : to.x() + 1;
        const int x1 = from.x() < to.x() ? to.x() - 1 : from.x();
        pixels = QRect(QPoint(x0, from.y()), QPoint(x1, from.y()));
    }
    p.fillRect(pixels, color);
}

QRect Cell(const QImage& glyph, int numGlyphs, int index) {
    const int w = glyph.width() / numGlyphs;
    return QRect(w * index, 0, w, glyph.height());
}

}  // namespace

TOvalButton::TOvalButton(QWidget* parent) : QWidget(parent), font_(DesignFont(kSansSerifFace, 8)) {
    setMouseTracking(true);  // pointer moves arrive with no button held, too
    setFocusPolicy(Qt::NoFocus);
    resize(100, 50);
    UpdateShades();
}

TOvalButton::~TOvalButton() = default;

// --- properties ----------------------------------------------------------

void TOvalButton::SetBevelWidth(int width) {
    width = std::clamp(width, 1, 10);
    if (width == bevelWidth_) {
        return;
    }
    bevelWidth_ = width;
    Invalidate();
}

void TOvalButton::SetCaption(const QString& caption) {
    if (caption == caption_) {
        return;
    }
    caption_ = caption;
    Invalidate();
}

QColor TOvalButton::Color() const {
    return colorRole_ ? palette().color(*colorRole_) : color_;
}

void TOvalButton::SetColor(const QColor& color) {
    if (!colorRole_ && color == color_) {
        return;
    }
    colorRole_.reset();
    color_ = color;
    UpdateShades();
    Invalidate();
}

void TOvalButton::SetSystemColor(QPalette::ColorRole role) {
    if (colorRole_ == role) {
        return;
    }
    colorRole_ = role;
    UpdateShades();
    Invalidate();
}

void TOvalButton::UpdateShades() {
    const rrColors::TShades shades =
        rrColors::ShadeColors(Color(), kHighlightAmount, kShadowAmount);
    highlightColor_ = shades.Highlight;
    shadowColor_ = shades.Shadow;
}

void TOvalButton::SetDown(bool down) {
    if (down == down_) {
        return;
    }
    down_ = down;
    if (down_) {
        bevelState_ = TBevelState::Lowered;
    } else {
        bevelState_ = flat_ ? TBevelState::None : TBevelState::Raised;
    }
    Invalidate();
}

void TOvalButton::SetFlat(bool flat) {
    if (flat == flat_) {
        return;
    }
    flat_ = flat;
    bevelState_ = flat_ ? TBevelState::None : TBevelState::Raised;
    Invalidate();
}

void TOvalButton::SetFont(const QFont& font) {
    if (font == font_) {
        return;
    }
    font_ = font;
    Invalidate();
}

QColor TOvalButton::FontColor() const {
    return fontColor_ ? *fontColor_ : palette().color(QPalette::WindowText);
}

void TOvalButton::SetFontColor(const QColor& color) {
    fontColor_ = color;
    Invalidate();
}

void TOvalButton::SetGlyph(const QImage& glyph) {
    glyph_ = glyph;
    if (!glyph_.isNull()) {
        SetTransparentColor(glyph_.pixelColor(0, glyph_.height() - 1));
    }
    Invalidate();
}

void TOvalButton::SetLayout(TButtonLayout layout) {
    if (layout == layout_) {
        return;
    }
    layout_ = layout;
    Invalidate();
}

void TOvalButton::SetMargin(int margin) {
    if (margin == margin_) {
        return;
    }
    margin_ = margin;
    Invalidate();
}

void TOvalButton::SetNumGlyphs(int count) {
    count = std::clamp(count, 0, 4);
    if (count == numGlyphs_) {
        return;
    }
    numGlyphs_ = count;
    Invalidate();
}

void TOvalButton::SetSpacing(int spacing) {
    if (spacing == spacing_) {
        return;
    }
    spacing_ = spacing;
    Invalidate();
}

void TOvalButton::SetTransparent(bool transparent) {
    if (transparent == transparent_) {
        return;
    }
    transparent_ = transparent;
    Invalidate();
}

void TOvalButton::SetTransparentColor(const QColor& color) {
    if (color == transparentColor_) {
        return;
    }
    transparentColor_ = color;
    Invalidate();
}

bool TOvalButton::PtInOval(int x, int y) const {
    return InEllipse(x, y, 0, 0, width(), height());
}

bool TOvalButton::DialogChar(QChar ch) {
    const qsizetype amp = caption_.indexOf(u'&');
    if (amp < 0 || amp >= caption_.size() - 1) {
        return false;
    }
    auto upper = [](QChar c) {
        return (c >= u'a' && c <= u'z') ? QChar(c.unicode() - (u'a' - u'A')) : c;
    };
    if (upper(caption_[amp + 1]) != upper(ch)) {
        return false;
    }
    if (isEnabled()) {
        Click();
    }
    return true;
}

// --- painting ------------------------------------------------------------

void TOvalButton::Invalidate() {
    fullRepaint_ = true;
    update();
}

void TOvalButton::PaintFaceNow() {
    faceState_ = bevelState_;
    update();
}

void TOvalButton::PaintBevelNow() {
    update();
}

void TOvalButton::paintEvent(QPaintEvent*) {
    if (fullRepaint_) {
        faceState_ = bevelState_;
        fullRepaint_ = false;
    }
    QPainter p(this);
    Paint(p);
}

const TOvalButton::Raster& TOvalButton::CurrentRaster() const {
    if (!raster_) {
        raster_ = std::make_unique<Raster>();
    }
    if (raster_->size != size() || raster_->rings != bevelWidth_) {
        Raster fresh;
        fresh.size = size();
        fresh.rings = bevelWidth_;
        Rasterise(width(), height(), bevelWidth_, fresh.face, fresh.outline, fresh.upperLeft,
                  fresh.lowerRight);
        *raster_ = std::move(fresh);
    }
    return *raster_;
}

void TOvalButton::Paint(QPainter& p) {
    const Raster& r = CurrentRaster();
    p.setFont(font_);
    // The ellipse of the box 0, 0, width - 1, height - 1: filled with the
    // face colour unless transparent, outlined in black unless flat.
    if (!transparent_) {
        const QColor face = Color();
        for (const QRect& span : r.face) {
            p.fillRect(span, face);
        }
    }
    if (!flat_) {
        p.setPen(QPen(Qt::black, 1));
        p.drawPoints(r.outline);
    }
    PaintFace(p);
}

void TOvalButton::PaintBevel(QPainter& p) {
    if (bevelState_ == TBevelState::None) {
        return;  // the rim is drawn with an invisible pen
    }
    const Raster& r = CurrentRaster();
    const bool lowered = bevelState_ == TBevelState::Lowered;
    p.setPen(QPen(lowered ? shadowColor_ : highlightColor_, 1));
    p.drawPoints(r.upperLeft);
    p.setPen(QPen(lowered ? highlightColor_ : shadowColor_, 1));
    p.drawPoints(r.lowerRight);
}

void TOvalButton::DrawGlyph(QPainter& p, const QRect& source, const QRect& dest) {
    if (source.isEmpty()) {
        return;
    }
    QImage cell = glyph_.copy(source).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparentColor_.rgb() & RGB_MASK;
    const QRgb fill = transparent_ ? qRgba(0, 0, 0, 0) : Color().rgb();
    for (int y = 0; y < cell.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(cell.scanLine(y));
        for (int x = 0; x < cell.width(); ++x) {
            if ((line[x] & RGB_MASK) == key) {
                line[x] = fill;
            }
        }
    }
    p.drawImage(dest, cell);
}

void TOvalButton::PaintFace(QPainter& p) {
    const int w = width(), h = height();
    QRect source(0, 0, glyph_.width(), glyph_.height());
    if (numGlyphs_ > 0) {
        source = Cell(glyph_, numGlyphs_, 0);
    }

    PaintBevel(p);

    const bool lowered = faceState_ == TBevelState::Lowered;
    const QSize text =
        QFontMetrics(font_).size(Qt::TextSingleLine | Qt::TextShowMnemonic, caption_);
    const int tw = caption_.isEmpty() ? 0 : text.width();
    const int th = caption_.isEmpty() ? 0 : text.height();
    const bool withGlyph = numGlyphs_ > 0;

    // Glyph destination, right and bottom exclusive.
    int left = 0, top = 0, right = 0, bottom = 0;
    int gw = 0, gh = 0;
    if (withGlyph) {
        if (!isEnabled() && numGlyphs_ > 1) {
            source = Cell(glyph_, numGlyphs_, 1);
        }
        gw = source.width();
        gh = source.height();
        if (caption_.isEmpty() || layout_ == blGlyphTop || layout_ == blGlyphBottom) {
            left = (w - gw) / 2;
        } else if (layout_ == blGlyphLeft) {
            left = (w - (tw + spacing_ + gw)) / 2 - margin_;
        } else {
            left = (w + tw + spacing_ + gw) / 2 - gw + margin_;
        }
        if (caption_.isEmpty() || layout_ == blGlyphLeft || layout_ == blGlyphRight) {
            top = (h - gh) / 2;
        } else if (layout_ == blGlyphTop) {
            top = (h - (th + gh + spacing_)) / 2 - margin_;
        } else {
            top = (h + th + gh + spacing_) / 2 - gh + margin_;
        }
        right = left + gw;
        bottom = top + gh;

        // Paint over the strip the glyph of the other state leaves uncovered.
        if (lowered) {
            ++left, ++top, ++right, ++bottom;
            if (!transparent_) {
                DrawLine(p, QPoint(left - 1, bottom), QPoint(left - 1, top - 1), Color());
                DrawLine(p, QPoint(left - 1, top - 1), QPoint(right, top - 1), Color());
            }
        } else if (!transparent_) {
            DrawLine(p, QPoint(right, top), QPoint(right, bottom), Color());
            DrawLine(p, QPoint(right, bottom), QPoint(left, bottom), Color());
        }
        if (lowered && numGlyphs_ > 2) {
            source = Cell(glyph_, numGlyphs_, 2);
        }
        DrawGlyph(p, source, QRect(left, top, gw, gh));
    }

    if (caption_.isEmpty()) {
        return;
    }
    int tx = (w - tw) / 2;
    if (withGlyph && layout_ == blGlyphRight) {
        tx = left - tw - spacing_;
    } else if (withGlyph && layout_ == blGlyphLeft) {
        tx = left + gw + spacing_;
    }
    int ty = (h - th) / 2;
    if (withGlyph && layout_ == blGlyphTop) {
        ty = top + gh + spacing_;
    } else if (withGlyph && layout_ == blGlyphBottom) {
        ty = top - th - spacing_;
    }
    if (lowered) {
        ++tx, ++ty;
    }
    // Clears the caption as the other state drew it.
    if (!transparent_) {
        p.fillRect(lowered ? QRect(tx, ty, tw, th) : QRect(tx + 1, ty + 1, tw, th), Color());
    }
    const QColor ink =
        isEnabled() ? FontColor() : palette().color(QPalette::Disabled, QPalette::WindowText);
    p.setPen(ink);
    p.setFont(font_);
    p.drawText(QRect(tx, ty, tw, th), kTextFlags, caption_);
}

// --- mouse ---------------------------------------------------------------

void TOvalButton::Click() {
    if (isEnabled() && mouseInside_) {
        emit OnClick();
    }
}

void TOvalButton::DblClick() {
    if (isEnabled() && mouseInside_) {
        emit OnDblClick();
    }
}

void TOvalButton::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y) {
    if (isEnabled() && PtInOval(x, y)) {
        downAtPress_ = down_;
        down_ = true;
        bevelState_ = TBevelState::Lowered;
        if (transparent_) {
            Invalidate();
        } else {
            PaintFaceNow();
        }
        emit OnMouseDown(button, modifiers, x, y);
    }
    tracking_ = true;
}

void TOvalButton::MouseMove(Qt::KeyboardModifiers modifiers, int x, int y) {
    const bool inside = PtInOval(x, y);
    if (tracking_) {
        if (!inside) {
            if (bevelState_ == TBevelState::Lowered && groupIndex_ == 0 && mouseInside_) {
                down_ = false;
                bevelState_ = TBevelState::Raised;
                PaintBevelNow();
            }
            mouseInside_ = false;
        } else if (bevelState_ == TBevelState::Raised && groupIndex_ == 0) {
            mouseInside_ = true;
            down_ = true;
            bevelState_ = TBevelState::Lowered;
            PaintBevelNow();
        }
    } else if (!flat_ || down_) {
        mouseInside_ = inside;
    } else if (inside) {
        mouseInside_ = true;
        bevelState_ = TBevelState::Raised;
        PaintBevelNow();
    } else if (mouseInside_) {
        mouseInside_ = false;
        bevelState_ = TBevelState::None;
        Invalidate();
    }
    if (mouseInside_) {
        emit OnMouseMove(modifiers, x, y);
    }
}

void TOvalButton::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y) {
    if (isEnabled() && PtInOval(x, y)) {
        if (groupIndex_ != 0) {
            SetDown(!downAtPress_);
        } else {
            down_ = false;
            bevelState_ = TBevelState::Raised;
            if (transparent_) {
                Invalidate();
            } else {
                PaintFaceNow();
            }
        }
        emit OnMouseUp(button, modifiers, x, y);
    }
    tracking_ = false;
}

void TOvalButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        clickPending_ = true;
    }
    const QPoint at = event->position().toPoint();
    MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TOvalButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click: the double-click notification,
    // then the press; its release is not a click of its own.
    clickPending_ = false;
    if (event->button() == Qt::LeftButton) {
        DblClick();
    }
    const QPoint at = event->position().toPoint();
    MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TOvalButton::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    MouseMove(event->modifiers(), at.x(), at.y());
}

void TOvalButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && clickPending_) {
        clickPending_ = false;
        if (rect().contains(at)) {
            Click();
        }
    }
    MouseUp(event->button(), event->modifiers(), at.x(), at.y());
}

void TOvalButton::enterEvent(QEnterEvent*) {
    emit OnMouseEnter();
}

void TOvalButton::leaveEvent(QEvent*) {
    if (mouseInside_ && isEnabled()) {
        mouseInside_ = false;
        if (flat_ && !down_) {
            bevelState_ = TBevelState::None;
            Invalidate();
        }
    }
    emit OnMouseExit();
}

void TOvalButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        Invalidate();
    } else if (event->type() == QEvent::PaletteChange && colorRole_) {
        UpdateShades();
        Invalidate();
    }
    QWidget::changeEvent(event);
}

bool OfferDialogChar(QWidget* form, QChar ch) {
    if (!form) {
        return false;
    }
    for (TOvalButton* button : form->findChildren<TOvalButton*>()) {
        if (button->isVisible() && button->DialogChar(ch)) {
            return true;
        }
    }
    return false;
}

}  // namespace corvane::ui
