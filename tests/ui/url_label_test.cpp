#include "ui/url_label.h"

#include <QTest>

#include <gtest/gtest.h>

#include <vector>

#include "qt_env.h"
#include "shell_recorder.h"
#include "ui/shell_open.h"

namespace corvane::ui {
namespace {

TEST(URLLabel, TargetsByKind) {
    EXPECT_EQ(URLTarget(utMailTo, "help@example.com"), "mailto:help@example.com");
    EXPECT_EQ(URLTarget(utMailTo, "MAILTO:Help@Example.com"), "MAILTO:Help@Example.com");
    EXPECT_EQ(URLTarget(utHTTP, "see http://example.org/"), "see http://example.org/");
    EXPECT_EQ(URLTarget(utHTTP, "Example.ORG/Path"), "http://Example.ORG/Path");
    EXPECT_EQ(URLTarget(utFTP, "files.example.net"), "ftp://files.example.net");
    EXPECT_EQ(URLTarget(utFTP, "http://files.example.net"), "ftp://http://files.example.net");
    EXPECT_EQ(URLTarget(utHTTP, ""), "http://");
    // Only ASCII letters are lower-cased for the test.
    EXPECT_EQ(URLTarget(utHTTP, QString::fromUtf8("HTTP\u0130://x")),
              QString::fromUtf8("http://HTTP\u0130://x"));
}

TEST(URLLabel, ClickRunsTheHandlerThenOpensTheAddress) {
    testing::ShellRecorder rec;
    QWidget host;
    auto* label = new TURLLabel(&host);
    label->SetURLType(utMailTo);
    label->SetCaption("support@example.com");
    host.show();
    std::vector<QString> order;
    QObject::connect(label, &TURLLabel::OnClick, [&] {
        order.push_back("handler");
        EXPECT_TRUE(rec.opened.empty());
    });
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    ASSERT_EQ(rec.opened.size(), 1u);
    EXPECT_EQ(rec.opened[0].target, "mailto:support@example.com");
    EXPECT_EQ(rec.opened[0].show, ShellShow::Normal);
    EXPECT_EQ(order.size(), 1u);

    // No open for other buttons, a release off the label, or when disabled.
    QTest::mouseClick(label, Qt::RightButton, Qt::NoModifier, QPoint(3, 3));
    QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, QPoint(-5, 3));
    label->setEnabled(false);
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(rec.opened.size(), 1u);
}

TEST(URLLabel, BlueWhilePointedAtThenBlack) {
    QWidget host;
    QPalette pal = host.palette();
    pal.setColor(QPalette::WindowText, QColor(90, 0, 0));  // a window text that is not black
    host.setPalette(pal);
    auto* label = new TURLLabel(&host);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(90, 0, 0));
    testing::Enter(label, QPoint(2, 2));
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    testing::Leave(label);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 0));
}

TEST(URLLabel, OwnUnderlinedFontPlainTextAndSharedCursor) {
    QWidget host;
    host.setFont(DesignFont(kArialFace, 14));
    auto* label = new TURLLabel(&host);
    auto* second = new TURLLabel(&host);
    host.setFont(DesignFont(kArialFace, 20, true));  // the parent's font does not reach it
    EXPECT_EQ(label->font().family(), "MS Sans Serif");
    EXPECT_EQ(label->font().pixelSize(), 11);
    EXPECT_TRUE(label->font().underline());
    EXPECT_FALSE(label->font().bold());
    EXPECT_EQ(label->Caption(), TURLLabel::kDefaultCaption);
    EXPECT_EQ(label->URLType(), utHTTP);
    EXPECT_TRUE(label->AutoSize());
    EXPECT_FALSE(label->Transparent());

    const QCursor& cursor = URLCursor();
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(5, 0));
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(label->cursor().pixmap().cacheKey(), second->cursor().pixmap().cacheKey());
    // The fingertip is at the hot spot: an opaque pixel there.
    EXPECT_GT(qAlpha(cursor.pixmap().toImage().pixel(5, 0)), 0);

    // A caption is an address, never markup, and sizes the label.
    label->SetCaption("<b>x</b>@example.com");
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    const int wide = label->width();
    label->SetCaption("x@example.com");
    EXPECT_LT(label->width(), wide);
    EXPECT_EQ(label->width(), QFontMetrics(label->font()).horizontalAdvance("x@example.com"));
}

}  // namespace
}  // namespace corvane::ui
