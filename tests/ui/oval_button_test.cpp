#include "ui/oval_button.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "qt_env.h"
#include "ui/rr_colors.h"

namespace corvane::ui {
namespace {

using testing::BoxOf;
using testing::Grab;
using testing::Hover;
using testing::Leave;
using testing::Rgb;

const QColor kFace(212, 208, 200);
const QColor kHighlight(233, 231, 227);
const QColor kShadow(139, 129, 108);
const QColor kBackground(0, 128, 0);  // the host window, seen round the ellipse

bool Painted(const QImage& img, int x, int y) {
    return (img.pixel(x, y) & RGB_MASK) != Rgb(kBackground);
}

// A shown window holding one 64 x 31 button, like the About box's.
struct Fixture {
    QWidget host;
    TOvalButton* button;
    Fixture() : button(new TOvalButton(&host)) {
        host.resize(120, 60);
        host.setAutoFillBackground(true);
        QPalette pal = host.palette();
        pal.setColor(QPalette::Window, kBackground);
        host.setPalette(pal);
        button->setGeometry(10, 10, 64, 31);
        button->SetColor(kFace);
        button->SetBevelWidth(2);
        host.show();
    }
    QPoint centre() const { return QPoint(32, 15); }
    QPoint corner() const { return QPoint(1, 1); }     // in the rectangle, outside the ellipse
    QPoint outside() const { return QPoint(90, 40); }  // outside the rectangle
};

// Press, then release, at one point, after the pointer got there.
void ClickAt(TOvalButton* b, QPoint at) {
    Hover(b, at);
    QTest::mousePress(b, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(b, Qt::LeftButton, Qt::NoModifier, at);
}

TEST(OvalButton, NewButtonDefaults) {
    TOvalButton b;
    EXPECT_EQ(b.size(), QSize(100, 50));
    EXPECT_EQ(b.BevelWidth(), 0);
    EXPECT_TRUE(b.Caption().isEmpty());
    EXPECT_EQ(b.Color(), b.palette().color(QPalette::Button));
    EXPECT_FALSE(b.Down());
    EXPECT_FALSE(b.Flat());
    EXPECT_EQ(b.GroupIndex(), 0);
    EXPECT_EQ(b.Layout(), blGlyphBottom);
    EXPECT_EQ(b.Margin(), 0);
    EXPECT_EQ(b.NumGlyphs(), 0);
    EXPECT_EQ(b.Spacing(), 4);
    EXPECT_FALSE(b.Transparent());
    EXPECT_EQ(b.TransparentColor(), QColor(0, 0, 0));
    EXPECT_EQ(b.BevelState(), TBevelState::Raised);
    EXPECT_FALSE(b.MouseInside());
    EXPECT_EQ(b.Font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(b.Font().pixelSize(), 11);
    const rrColors::TShades shades = rrColors::ShadeColors(b.Color(), 5, 4);
    EXPECT_EQ(b.HighlightColor(), shades.Highlight);
    EXPECT_EQ(b.ShadowColor(), shades.Shadow);
}

TEST(OvalButton, SettersKeepBevelStateAndShadesInStep) {
    TOvalButton b;
    b.SetColor(kFace);
    EXPECT_EQ(b.HighlightColor(), kHighlight);
    EXPECT_EQ(b.ShadowColor(), kShadow);

    b.SetDown(true);
    EXPECT_EQ(b.BevelState(), TBevelState::Lowered);
    b.SetFlat(true);  // whatever Down is
    EXPECT_EQ(b.BevelState(), TBevelState::None);
    b.SetFlat(false);
    EXPECT_EQ(b.BevelState(), TBevelState::Raised);
    b.SetFlat(true);
    b.SetDown(false);
    EXPECT_EQ(b.BevelState(), TBevelState::None);
    b.SetFlat(false);
    b.SetDown(true);
    b.SetDown(false);
    EXPECT_EQ(b.BevelState(), TBevelState::Raised);

    QImage strip(16, 8, QImage::Format_RGB32);
    strip.fill(QColor(10, 20, 30));
    strip.setPixelColor(0, 7, QColor(255, 0, 255));
    b.SetGlyph(strip);
    EXPECT_EQ(b.TransparentColor(), QColor(255, 0, 255));
    EXPECT_EQ(b.Glyph().size(), QSize(16, 8));

    b.SetBevelWidth(40);
    EXPECT_EQ(b.BevelWidth(), 10);
    b.SetNumGlyphs(9);
    EXPECT_EQ(b.NumGlyphs(), 4);
}

// The rim pixels down the middle column: outline, then BevelWidth rings.
struct Column {
    QRgb outlineTop, rimTop, outlineBottom, rimBottom;
};

Column MiddleColumn(const QImage& img, int bevel) {
    const int x = img.width() / 2;
    int top = 0;
    while (top < img.height() && !Painted(img, x, top)) {
        ++top;
    }
    int bottom = img.height() - 1;
    while (bottom > 0 && !Painted(img, x, bottom)) {
        --bottom;
    }
    return Column{img.pixel(x, top) & RGB_MASK, img.pixel(x, top + bevel) & RGB_MASK,
                  img.pixel(x, bottom) & RGB_MASK, img.pixel(x, bottom - bevel) & RGB_MASK};
}

TEST(OvalButton, RimColoursRaisedLoweredAndFlat) {
    Fixture f;
    QImage img = Grab(f.button);
    Column c = MiddleColumn(img, 1);
    EXPECT_EQ(c.outlineTop, Rgb(Qt::black));
    EXPECT_EQ(c.outlineBottom, Rgb(Qt::black));
    EXPECT_EQ(c.rimTop, Rgb(kHighlight));
    EXPECT_EQ(c.rimBottom, Rgb(kShadow));
    EXPECT_EQ(MiddleColumn(img, 2).rimTop, Rgb(kHighlight));
    EXPECT_EQ(MiddleColumn(img, 3).rimTop, Rgb(kFace));  // two rings, then the face
    // The left end belongs to the upper-left half, the right end to the other.
    EXPECT_EQ(img.pixel(1, 15) & RGB_MASK, Rgb(kHighlight));
    EXPECT_EQ(img.pixel(61, 15) & RGB_MASK, Rgb(kShadow));
    // The ellipse's box is one pixel short of the rectangle on the right and
    // at the bottom.
    EXPECT_FALSE(Painted(img, 63, 15));
    EXPECT_EQ(img.pixel(62, 15) & RGB_MASK, Rgb(Qt::black));

    f.button->SetDown(true);
    c = MiddleColumn(Grab(f.button), 1);
    EXPECT_EQ(c.rimTop, Rgb(kShadow));
    EXPECT_EQ(c.rimBottom, Rgb(kHighlight));

    f.button->SetDown(false);
    f.button->SetFlat(true);
    img = Grab(f.button);
    c = MiddleColumn(img, 1);
    EXPECT_EQ(c.outlineTop, Rgb(kFace));  // no outline, no rim
    EXPECT_EQ(c.rimTop, Rgb(kFace));
    EXPECT_EQ(c.rimBottom, Rgb(kFace));
    EXPECT_FALSE(BoxOf(img, Qt::black).isValid());

    Hover(f.button, f.centre());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
    c = MiddleColumn(Grab(f.button), 1);
    EXPECT_EQ(c.outlineTop, Rgb(kFace));  // still no outline, but the rim
    EXPECT_EQ(c.rimTop, Rgb(kHighlight));
    EXPECT_EQ(c.rimBottom, Rgb(kShadow));
    Hover(f.button, f.corner());
    EXPECT_EQ(f.button->BevelState(), TBevelState::None);
    EXPECT_EQ(MiddleColumn(Grab(f.button), 1).rimTop, Rgb(kFace));
    Hover(f.button, f.centre());
    Leave(f.button);
    EXPECT_EQ(f.button->BevelState(), TBevelState::None);
    EXPECT_FALSE(f.button->MouseInside());
}

TEST(OvalButton, TransparentFaceLetsTheParentShowThrough) {
    Fixture f;
    f.button->SetTransparent(true);
    const QImage img = Grab(&f.host);
    EXPECT_EQ(img.pixel(10 + 32, 10 + 15) & RGB_MASK, Rgb(kBackground));
    EXPECT_EQ(img.pixel(10 + 32, 10 + 1) & RGB_MASK, Rgb(kHighlight));
}

TEST(OvalButton, PtInOvalAtTheBoundary) {
    Fixture f;
    TOvalButton* b = f.button;
    EXPECT_TRUE(b->PtInOval(0, 15));
    EXPECT_FALSE(b->PtInOval(-1, 15));
    EXPECT_TRUE(b->PtInOval(63, 15));
    EXPECT_FALSE(b->PtInOval(64, 15));
    EXPECT_TRUE(b->PtInOval(31, 0));
    EXPECT_FALSE(b->PtInOval(31, -1));
    EXPECT_TRUE(b->PtInOval(31, 30));
    EXPECT_FALSE(b->PtInOval(31, 31));
    EXPECT_FALSE(b->PtInOval(0, 0));
    EXPECT_FALSE(b->PtInOval(63, 30));
    // The region's ellipse is the rectangle's, the painted one is a pixel
    // short on the right and at the bottom: they part by at most one pixel.
    const QImage img = Grab(b);
    auto near = [&](int x, int y, auto&& test) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                if (test(x + dx, y + dy)) {
                    return true;
                }
            }
        }
        return false;
    };
    auto painted = [&](int x, int y) { return img.rect().contains(x, y) && Painted(img, x, y); };
    auto inside = [&](int x, int y) { return b->PtInOval(x, y); };
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (inside(x, y) && !painted(x, y)) {
                EXPECT_TRUE(near(x, y, painted)) << x << "," << y;
            }
            if (painted(x, y) && !inside(x, y)) {
                EXPECT_TRUE(near(x, y, inside)) << x << "," << y;
            }
        }
    }
}

TEST(OvalButton, PressOutsideTheEllipseOnlyTracks) {
    Fixture f;
    QSignalSpy clicks(f.button, &TOvalButton::OnClick);
    QSignalSpy downs(f.button, &TOvalButton::OnMouseDown);
    Hover(f.button, f.corner());
    QTest::mousePress(f.button, Qt::LeftButton, Qt::NoModifier, f.corner());
    EXPECT_TRUE(f.button->Tracking());
    EXPECT_FALSE(f.button->Down());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
    EXPECT_EQ(downs.count(), 0);
    QTest::mouseRelease(f.button, Qt::LeftButton, Qt::NoModifier, f.corner());
    EXPECT_FALSE(f.button->Tracking());
    EXPECT_EQ(clicks.count(), 0);

    ClickAt(f.button, f.centre());
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(f.button->Down());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
}

TEST(OvalButton, DragOutAndBackIn) {
    Fixture f;
    QSignalSpy clicks(f.button, &TOvalButton::OnClick);
    Hover(f.button, f.centre());
    QTest::mousePress(f.button, Qt::LeftButton, Qt::NoModifier, f.centre());
    EXPECT_TRUE(f.button->Down());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Lowered);
    EXPECT_EQ(MiddleColumn(Grab(f.button), 1).rimTop, Rgb(kShadow));

    // Out past the rectangle (the button keeps the pointer while held).
    QTest::mouseMove(f.button, f.outside());
    EXPECT_FALSE(f.button->Down());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
    EXPECT_FALSE(f.button->MouseInside());
    EXPECT_EQ(MiddleColumn(Grab(f.button), 1).rimTop, Rgb(kHighlight));

    QTest::mouseMove(f.button, f.centre());
    EXPECT_TRUE(f.button->Down());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Lowered);
    EXPECT_EQ(MiddleColumn(Grab(f.button), 1).rimTop, Rgb(kShadow));
    QTest::mouseRelease(f.button, Qt::LeftButton, Qt::NoModifier, f.centre());
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);

    // Out again and released out there: no click, rim raised, not down.
    Hover(f.button, f.centre());
    QTest::mousePress(f.button, Qt::LeftButton, Qt::NoModifier, f.centre());
    QTest::mouseMove(f.button, f.corner());
    QTest::mouseRelease(f.button, Qt::LeftButton, Qt::NoModifier, f.corner());
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(f.button->Down());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
}

TEST(OvalButton, ToggleWithGroupIndex) {
    Fixture f;
    f.button->SetGroupIndex(1);
    QSignalSpy clicks(f.button, &TOvalButton::OnClick);
    ClickAt(f.button, f.centre());
    EXPECT_TRUE(f.button->Down());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Lowered);
    ClickAt(f.button, f.centre());
    EXPECT_FALSE(f.button->Down());
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
    EXPECT_EQ(clicks.count(), 2);

    // While held, drags outside do not change the look.
    for (bool before : {false, true}) {
        f.button->SetDown(before);
        Hover(f.button, f.centre());
        QTest::mousePress(f.button, Qt::LeftButton, Qt::NoModifier, f.centre());
        QTest::mouseMove(f.button, f.outside());
        EXPECT_EQ(f.button->BevelState(), TBevelState::Lowered);
        EXPECT_EQ(MiddleColumn(Grab(f.button), 1).rimTop, Rgb(kShadow));
        QTest::mouseMove(f.button, f.centre());
        QTest::mouseMove(f.button, f.outside());
        QTest::mouseRelease(f.button, Qt::LeftButton, Qt::NoModifier, f.outside());
        // Released outside: down and lowered, whatever it was before.
        EXPECT_TRUE(f.button->Down()) << before;
        EXPECT_EQ(f.button->BevelState(), TBevelState::Lowered) << before;
    }
    EXPECT_EQ(clicks.count(), 2);
}

TEST(OvalButton, AcceleratorClicksOnlyWithThePointerOver) {
    Fixture f;
    f.button->SetCaption(QStringLiteral("E&xit"));
    QSignalSpy clicks(f.button, &TOvalButton::OnClick);
    EXPECT_TRUE(f.button->DialogChar(u'x'));  // pointer elsewhere: swallowed
    EXPECT_EQ(clicks.count(), 0);
    Hover(f.button, f.centre());
    EXPECT_TRUE(f.button->DialogChar(u'x'));
    EXPECT_TRUE(OfferDialogChar(&f.host, u'X'));
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_FALSE(f.button->DialogChar(u'e'));
    EXPECT_FALSE(OfferDialogChar(&f.host, u'i'));
    f.button->setEnabled(false);
    EXPECT_TRUE(f.button->DialogChar(u'x'));
    EXPECT_EQ(clicks.count(), 2);
    f.button->SetCaption(QStringLiteral("Exit&"));  // "&" as the last character marks nothing
    EXPECT_FALSE(f.button->DialogChar(u'&'));
}

TEST(OvalButton, DoubleClickAndEnterExitNotifications) {
    Fixture f;
    QSignalSpy clicks(f.button, &TOvalButton::OnClick);
    QSignalSpy doubles(f.button, &TOvalButton::OnDblClick);
    QSignalSpy enters(f.button, &TOvalButton::OnMouseEnter);
    QSignalSpy exits(f.button, &TOvalButton::OnMouseExit);
    testing::Enter(f.button, f.centre());
    EXPECT_EQ(enters.count(), 1);
    // A double click arrives as press, release, double-click press, release:
    // one click, one double click.
    ClickAt(f.button, f.centre());
    QTest::mouseDClick(f.button, Qt::LeftButton, Qt::NoModifier, f.centre());
    QTest::mouseRelease(f.button, Qt::LeftButton, Qt::NoModifier, f.centre());
    EXPECT_EQ(doubles.count(), 1);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
    ClickAt(f.button, f.corner());
    QTest::mouseDClick(f.button, Qt::LeftButton, Qt::NoModifier, f.corner());
    QTest::mouseRelease(f.button, Qt::LeftButton, Qt::NoModifier, f.corner());
    EXPECT_EQ(doubles.count(), 1);
    EXPECT_EQ(clicks.count(), 1);
    Leave(f.button);
    EXPECT_EQ(exits.count(), 1);
}

TEST(OvalButton, EnteringOrPressingTellsWhereThePointerIs) {
    // A box opened under a still pointer: the pointer enters, no move, click.
    Fixture f;
    QSignalSpy clicks(f.button, &TOvalButton::OnClick);
    testing::Enter(f.button, f.corner());
    EXPECT_FALSE(f.button->MouseInside());
    testing::Leave(f.button);
    testing::Enter(f.button, f.centre());
    EXPECT_TRUE(f.button->MouseInside());
    QTest::mousePress(f.button, Qt::LeftButton, Qt::NoModifier, f.centre());
    QTest::mouseRelease(f.button, Qt::LeftButton, Qt::NoModifier, f.centre());
    EXPECT_EQ(clicks.count(), 1);

    // No enter and no move at all: the press itself says where it is.
    Fixture g;
    QSignalSpy otherClicks(g.button, &TOvalButton::OnClick);
    QTest::mousePress(g.button, Qt::LeftButton, Qt::NoModifier, g.centre());
    QTest::mouseRelease(g.button, Qt::LeftButton, Qt::NoModifier, g.centre());
    EXPECT_EQ(otherClicks.count(), 1);

    // A flat button shows its rim as soon as the pointer enters the ellipse.
    Fixture flat;
    flat.button->SetFlat(true);
    testing::Enter(flat.button, flat.centre());
    EXPECT_EQ(flat.button->BevelState(), TBevelState::Raised);
}

TEST(OvalButton, TheFocusedButtonAnswersSpaceAndEnter) {
    Fixture f;
    QSignalSpy clicks(f.button, &TOvalButton::OnClick);
    EXPECT_EQ(f.button->focusPolicy(), Qt::StrongFocus);
    const QImage unfocused = Grab(f.button);
    f.host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.host));
    f.button->setFocus();
    ASSERT_TRUE(f.button->hasFocus());
    EXPECT_NE(Grab(f.button), unfocused);  // the focus shows

    // With the pointer nowhere near: Space clicks on its release, with the
    // pressed look while it is held; Enter and Return click at once.
    QTest::keyPress(f.button, Qt::Key_Space);
    EXPECT_EQ(f.button->BevelState(), TBevelState::Lowered);
    EXPECT_EQ(clicks.count(), 0);
    QTest::keyRelease(f.button, Qt::Key_Space);
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
    EXPECT_EQ(clicks.count(), 1);
    QTest::keyClick(f.button, Qt::Key_Return);
    QTest::keyClick(f.button, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(clicks.count(), 3);

    // Space held while the focus goes elsewhere: no click.
    QTest::keyPress(f.button, Qt::Key_Space);
    f.button->clearFocus();
    EXPECT_EQ(f.button->BevelState(), TBevelState::Raised);
    QTest::keyRelease(f.button, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 3);

    f.button->setEnabled(false);
    QTest::keyClick(f.button, Qt::Key_Return);
    QTest::keyClick(f.button, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 3);
}

// Distance between two colours, the largest of the three differences.
int Distance(QRgb a, const QColor& b) {
    return std::max({std::abs(qRed(a) - b.red()), std::abs(qGreen(a) - b.green()),
                     std::abs(qBlue(a) - b.blue())});
}

TEST(OvalButton, TheSmoothLookKeepsTheRimHalvesAndBlendsTheEdge) {
    Fixture f;
    f.button->SetSmooth(true);
    for (bool down : {false, true}) {
        f.button->SetDown(down);
        const QImage img = Grab(&f.host).copy(f.button->geometry());
        // Down the middle: the rim's upper ring light (dark when pressed),
        // its lower ring the other way round.
        const QRgb top = img.pixel(32, 2);
        const QRgb bottom = img.pixel(32, 27);
        const QColor upper = down ? kShadow : kHighlight;
        const QColor lower = down ? kHighlight : kShadow;
        EXPECT_LT(Distance(top, upper), Distance(top, lower)) << down;
        EXPECT_LT(Distance(bottom, lower), Distance(bottom, upper)) << down;
    }
    // The outline blends into the window at the curved ends.
    const QImage img = Grab(&f.host).copy(f.button->geometry());
    int blends = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            bool plain = false;
            for (const QColor& known : {kBackground, QColor(Qt::black), kFace, kHighlight, kShadow})
                plain = plain || Distance(c, known) == 0;
            blends += plain ? 0 : 1;
        }
    }
    EXPECT_GT(blends, 20);
    // Clicks still count inside the ellipse only.
    QSignalSpy clicks(f.button, &TOvalButton::OnClick);
    ClickAt(f.button, f.corner());
    ClickAt(f.button, f.centre());
    EXPECT_EQ(clicks.count(), 1);
}

// A font without smoothing, so caption pixels carry exactly the ink colour.
QFont CrispFont() {
    QFont font = DesignFont(kSansSerifFace, 8, true);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

TEST(OvalButton, WideCaptionIsCentredAndClippedAtBothSides) {
    Fixture f;
    f.button->setGeometry(10, 10, 40, 31);
    f.button->SetFont(CrispFont());
    f.button->SetFontColor(QColor(255, 0, 0));
    f.button->SetCaption(QStringLiteral("MMMMMMMMMMMMMMMMMMMM"));
    const QRect ink = BoxOf(Grab(f.button), QColor(255, 0, 0));
    ASSERT_TRUE(ink.isValid());
    EXPECT_LE(ink.left(), 1);
    EXPECT_GE(ink.right(), 38);
}

// A two-cell strip: cell 1 red with a key-coloured corner, cell 2 green.
QImage TwoCells() {
    QImage strip(20, 10, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 0));
    for (int y = 0; y < 10; ++y) {
        for (int x = 10; x < 20; ++x) {
            strip.setPixelColor(x, y, QColor(0, 200, 0));
        }
    }
    strip.setPixelColor(0, 9, QColor(255, 0, 255));
    return strip;
}

TEST(OvalButton, GlyphCellsAndGreyCaptionWhenDisabled) {
    Fixture f;
    f.button->setGeometry(10, 10, 90, 45);
    f.button->SetFont(CrispFont());
    f.button->SetFontColor(QColor(0, 0, 255));
    f.button->SetCaption(QStringLiteral("Go"));
    f.button->SetGlyph(TwoCells());
    f.button->SetNumGlyphs(2);

    QImage img = Grab(f.button);
    EXPECT_TRUE(BoxOf(img, QColor(255, 0, 0)).isValid());
    EXPECT_FALSE(BoxOf(img, QColor(0, 200, 0)).isValid());
    EXPECT_FALSE(BoxOf(img, QColor(255, 0, 255)).isValid());  // the key colour takes the face
    EXPECT_TRUE(BoxOf(img, QColor(0, 0, 255)).isValid());

    f.button->setEnabled(false);
    img = Grab(f.button);
    EXPECT_FALSE(BoxOf(img, QColor(255, 0, 0)).isValid());
    EXPECT_EQ(BoxOf(img, QColor(0, 200, 0)).size(), QSize(10, 10));
    EXPECT_FALSE(BoxOf(img, QColor(0, 0, 255)).isValid());
    EXPECT_TRUE(
        BoxOf(img, f.button->palette().color(QPalette::Disabled, QPalette::WindowText)).isValid());
}

TEST(OvalButton, GlyphPlacementForEachLayoutAndThePressedShift) {
    Fixture f;
    f.button->setGeometry(0, 0, 110, 56);
    f.button->SetFont(CrispFont());
    f.button->SetFontColor(QColor(0, 0, 255));
    f.button->SetCaption(QStringLiteral("Start"));
    QImage cell(10, 10, QImage::Format_RGB32);
    cell.fill(QColor(255, 0, 0));
    f.button->SetGlyph(cell);  // bottom-left pixel red: set a key nobody uses
    f.button->SetTransparentColor(QColor(1, 2, 3));
    f.button->SetNumGlyphs(1);
    const int spacing = f.button->Spacing();

    for (TButtonLayout layout : {blGlyphBottom, blGlyphLeft, blGlyphRight, blGlyphTop}) {
        SCOPED_TRACE(layout);
        f.button->SetLayout(layout);
        const QImage img = Grab(f.button);
        const QRect glyph = BoxOf(img, QColor(255, 0, 0));
        const QRect text = BoxOf(img, QColor(0, 0, 255));
        ASSERT_EQ(glyph.size(), QSize(10, 10));
        ASSERT_TRUE(text.isValid());
        switch (layout) {
            case blGlyphBottom:
                EXPECT_GE(glyph.top() - text.bottom(), spacing);
                EXPECT_EQ(glyph.left(), (110 - 10) / 2);
                break;
            case blGlyphTop:
                EXPECT_GE(text.top() - glyph.bottom(), spacing);
                EXPECT_EQ(glyph.left(), (110 - 10) / 2);
                break;
            case blGlyphLeft:
                EXPECT_GE(text.left() - glyph.right(), spacing);
                EXPECT_EQ(glyph.top(), (56 - 10) / 2);
                break;
            case blGlyphRight:
                EXPECT_GE(glyph.left() - text.right(), spacing);
                EXPECT_EQ(glyph.top(), (56 - 10) / 2);
                break;
        }
        // Pressed: the glyph one pixel right and down; the caption is placed
        // from the moved glyph and then moved itself, so it goes one pixel
        // further along the glyph's axis.
        f.button->SetDown(true);
        const QImage down = Grab(f.button);
        EXPECT_EQ(BoxOf(down, QColor(255, 0, 0)), glyph.translated(1, 1));
        const bool vertical = layout == blGlyphBottom || layout == blGlyphTop;
        EXPECT_EQ(BoxOf(down, QColor(0, 0, 255)),
                  text.translated(vertical ? 1 : 2, vertical ? 2 : 1));
        f.button->SetDown(false);
    }

    // Margin moves both further towards the glyph's side.
    f.button->SetLayout(blGlyphLeft);
    const QRect before = BoxOf(Grab(f.button), QColor(255, 0, 0));
    f.button->SetMargin(6);
    EXPECT_EQ(BoxOf(Grab(f.button), QColor(255, 0, 0)), before.translated(-6, 0));
}

}  // namespace
}  // namespace corvane::ui
