#include "ui/info_form.h"

#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

#include "corvane_version.h"
#include "layout_checks.h"
#include "qt_env.h"
#include "shell_recorder.h"
#include "ui/oval_button.h"
#include "ui/pictures.h"
#include "ui/product_info.h"
#include "ui/shell_open.h"
#include "ui/url_label.h"

namespace corvane::ui {
namespace {

void ClickAt(TOvalButton* b, QPoint at) {
    testing::Hover(b, at);
    QTest::mousePress(b, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(b, Qt::LeftButton, Qt::NoModifier, at);
}

TEST(InfoForm, ControlsAsDesigned) {
    TInfoForm form;
    EXPECT_EQ(form.windowTitle(), "About...");
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form.font().pixelSize(), 12);

    EXPECT_EQ(form.Panel1->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(form.Panel1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(form.Label7->text(), "Corvane");
    EXPECT_TRUE(form.Label7->font().bold() && form.Label7->font().underline());
    EXPECT_EQ(form.Label7->font().pixelSize(), 20);
    EXPECT_EQ(form.Label2->font().pixelSize(), 11);
    // The version is the build's, from the project's one version.
    EXPECT_TRUE(
        form.Label2->text().startsWith(QStringLiteral("Version " CORVANE_VERSION_SHORT ". ")))
        << form.Label2->text().toStdString();
    EXPECT_EQ(form.URLLabel2->URLType(), utMailTo);
    EXPECT_EQ(form.URLLabel2->Caption(), kSupportMail);
    EXPECT_EQ(form.Image1->pixmap().size(), form.Image1->size());

    EXPECT_EQ(form.OvalButton1->Caption(), "Support");
    EXPECT_EQ(form.OvalButton1->toolTip(), "Visit the Customer Care Center");
    EXPECT_EQ(form.BitBtn3->Caption(), "Close");
    for (TOvalButton* b : {form.OvalButton1, form.BitBtn3}) {
        EXPECT_EQ(b->BevelWidth(), 2);
        EXPECT_EQ(b->Color(), form.palette().color(QPalette::Button));
        EXPECT_FALSE(b->Down() || b->Flat() || b->Transparent());
        EXPECT_EQ(b->GroupIndex(), 0);
        EXPECT_EQ(b->Layout(), blGlyphBottom);
        EXPECT_EQ(b->Spacing(), 4);
        EXPECT_EQ(b->NumGlyphs(), 0);
        EXPECT_EQ(b->Font().family(), "MS Sans Serif");
        EXPECT_TRUE(b->Font().bold());
        EXPECT_EQ(b->Font().pixelSize(), 11);
        EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
    }
}

TEST(InfoForm, NoControlOverlapsAnotherOrLeavesTheBox) {
    TInfoForm form;
    form.show();
    testing::ExpectTidy(&form);
    testing::ExpectTidy(form.Panel1);
    // The buttons balance each other: as far from either side, on one line.
    EXPECT_EQ(form.OvalButton1->x(), form.width() - 1 - form.BitBtn3->geometry().right());
    EXPECT_EQ(form.OvalButton1->y(), form.BitBtn3->y());
    EXPECT_TRUE(form.OvalButton1->Smooth() && form.BitBtn3->Smooth());
}

TEST(InfoForm, CloseAnswersTheFirstClickUnderAStillPointerAndTheEnterKey) {
    TInfoForm form;
    // The box opens under the pointer: it enters Close, then a click with no
    // move in between.
    QTimer::singleShot(0, &form, [&] {
        testing::Enter(form.BitBtn3, QPoint(32, 15));
        QTest::mousePress(form.BitBtn3, Qt::LeftButton, Qt::NoModifier, QPoint(32, 15));
        QTest::mouseRelease(form.BitBtn3, Qt::LeftButton, Qt::NoModifier, QPoint(32, 15));
    });
    EXPECT_NE(form.ShowModal(), 0);

    // Close has the focus when the box opens: Enter closes it.
    bool closeFocused = false;
    QTimer::singleShot(0, &form, [&] {
        closeFocused = form.BitBtn3->hasFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    EXPECT_NE(form.ShowModal(), 0);
    EXPECT_TRUE(closeFocused);
}

TEST(InfoForm, CaptionsFitTheirBoxesInTheSubstituteFonts) {
    TInfoForm form;
    EXPECT_EQ(QFontInfo(form.font()).family(), "Liberation Sans");
    EXPECT_EQ(QFontInfo(form.BitBtn3->Font()).family(), "Liberation Sans");
    for (TOvalButton* b : {form.OvalButton1, form.BitBtn3}) {
        const QFontMetrics fm(b->Font());
        EXPECT_LT(fm.horizontalAdvance(b->Caption()), b->width() - 8) << b->Caption().toStdString();
    }
    const QFontMetrics title(form.Label7->font());
    EXPECT_LE(title.horizontalAdvance(form.Label7->text()), form.Label7->width());
    EXPECT_LE(form.URLLabel2->x() + form.URLLabel2->width(), form.Panel1->width());
    const QRect notice = QFontMetrics(form.Label2->font())
                             .boundingRect(QRect(0, 0, 140, 1000), Qt::TextWordWrap, kMakerNotice);
    EXPECT_LE(notice.height(), 54);
}

TEST(InfoForm, SupportOpensCustomerCareAndStaysOpen) {
    testing::ShellRecorder rec;
    TInfoForm form;
    form.show();
    ClickAt(form.OvalButton1, QPoint(1, 1));  // the corner, outside the ellipse
    EXPECT_TRUE(rec.opened.empty());
    ClickAt(form.OvalButton1, QPoint(32, 15));
    ASSERT_EQ(rec.opened.size(), 1u);
    EXPECT_EQ(rec.opened[0].target, kCustomerCareUrl);
    EXPECT_EQ(rec.opened[0].show, ShellShow::Maximized);
    EXPECT_TRUE(form.isVisible());

    QTest::mouseClick(form.URLLabel2, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    ASSERT_EQ(rec.opened.size(), 2u);
    EXPECT_EQ(rec.opened[1].target, "mailto:" + kSupportMail);
    EXPECT_EQ(rec.opened[1].show, ShellShow::Normal);
}

TEST(InfoForm, CloseAndTheCloseBoxEndTheModalRunAndKeepTheBox) {
    TInfoForm form;
    // Close only reacts inside its ellipse: the corner click does nothing,
    // the centre click closes.
    QTimer::singleShot(0, &form, [&] {
        ClickAt(form.BitBtn3, QPoint(62, 29));
        EXPECT_TRUE(form.isVisible());
        ClickAt(form.BitBtn3, QPoint(32, 15));
    });
    EXPECT_NE(form.ShowModal(), 0);
    EXPECT_FALSE(form.isVisible());

    QTimer::singleShot(0, &form, [&] { form.close(); });
    EXPECT_EQ(form.ShowModal(), 0);
    EXPECT_FALSE(form.isVisible());

    // The same box shows again with its content unchanged.
    QTimer::singleShot(0, &form, [&] {
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.Label2->text(), kMakerNotice);
        ClickAt(form.BitBtn3, QPoint(32, 15));
    });
    EXPECT_NE(form.ShowModal(), 0);
}

TEST(Pictures, ResourcesDecodeWithOurDecoder) {
    EXPECT_EQ(BannerPicture().size(), QSize(490, 55));
    EXPECT_EQ(ProductPicture().size(), QSize(121, 146));
    EXPECT_TRUE(LoadJpegPicture(":/corvane/missing.jpg").isNull());
    EXPECT_TRUE(DecodeJpegImage(QByteArray("\xff\xd8\xff\xe0 not really", 15)).isNull());
    const QImage product = LoadJpegPicture(kProductPicture);
    EXPECT_EQ(product.format(), QImage::Format_RGB32);
}

}  // namespace
}  // namespace corvane::ui
