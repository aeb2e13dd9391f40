#include "ui/spin_edit.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "qt_env.h"

namespace corvane::ui {
namespace {

// The two fields of the Locate dialog: the result count (2..30) and the
// unbounded skip count (minimum = maximum = 0).
struct Fields {
    QWidget host;
    TSpinEdit* results;
    TSpinEdit* skip;
    Fields() : results(new TSpinEdit(&host)), skip(new TSpinEdit(&host)) {
        host.resize(200, 80);
        results->setGeometry(10, 10, 51, 22);
        results->SetMinValue(2);
        results->SetMaxValue(30);
        results->SetValue(20);
        skip->setGeometry(10, 40, 51, 22);
        host.show();
    }
};

void SendFocusOut(QWidget* w, Qt::FocusReason reason) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QApplication::sendEvent(w, &out);
}

void Move(QWidget* w, QPoint at, Qt::MouseButtons held) {
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

// Fires the arrow's repeat timer as if its pause had passed.
void FireRepeat(TSpinArrowButton* b) {
    QMetaObject::invokeMethod(const_cast<QTimer*>(&b->RepeatTimer()), "timeout");
}

TEST(SpinEdit, ReadingParsesOrGivesTheMinimumAndNeverChangesTheText) {
    Fields f;
    struct Case {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"25", 25},
        {"+7", 7},
        {"-5", -5},
        {"007", 7},
        {"99", 99},  // not clamped by reading
        {"", 2},
        {"-", 2},
        {"+", 2},
        {"1.5", 2},
        {" 5", 2},
        {"5 ", 2},
        {"--1", 2},
        {"x", 2},
        {"2147483647", 2147483647},
        {"2147483648", 2},
        {"-2147483648", INT32_MIN},
        {"-2147483649", 2},
        {"99999999999999999999", 2},
        {"\xB2", 2},  // a superscript digit is no digit
    };
    for (const Case& c : cases) {
        f.results->setText(QString::fromLatin1(c.text));
        EXPECT_EQ(f.results->Value(), c.value) << c.text;
        EXPECT_EQ(f.results->text(), QString::fromLatin1(c.text));
    }
    f.skip->setText(QString());
    EXPECT_EQ(f.skip->Value(), 0);
}

TEST(SpinEdit, SettingClampsUnlessMinimumEqualsMaximum) {
    Fields f;
    const std::pair<std::int64_t, const char*> results[] = {{1, "2"},  {99, "30"}, {25, "25"},
                                                            {-5, "2"}, {2, "2"},   {30, "30"}};
    for (const auto& [v, text] : results) {
        f.results->SetValue(v);
        EXPECT_EQ(f.results->text(), QString::fromLatin1(text)) << v;
    }
    const std::pair<std::int64_t, const char*> skips[] = {
        {-5, "-5"},
        {1000, "1000"},
        {INT32_MIN, "-2147483648"},
        {std::int64_t{INT32_MAX} + 1, "2147483647"}};
    for (const auto& [v, text] : skips) {
        f.skip->SetValue(v);
        EXPECT_EQ(f.skip->text(), QString::fromLatin1(text)) << v;
    }
}

TEST(SpinEdit, ArrowKeysAndButtonsStepByOne) {
    Fields f;
    QTest::keyClick(f.skip, Qt::Key_Down);
    EXPECT_EQ(f.skip->text(), "-1");
    QTest::keyClick(f.skip, Qt::Key_Up);
    QTest::keyClick(f.skip, Qt::Key_Up);
    EXPECT_EQ(f.skip->text(), "1");

    f.results->SetValue(30);
    QTest::keyClick(f.results, Qt::Key_Up);
    EXPECT_EQ(f.results->text(), "30");
    f.results->setText(QString());  // reads as 2
    QTest::keyClick(f.results, Qt::Key_Up);
    EXPECT_EQ(f.results->text(), "3");
    f.results->setText("-");
    QTest::keyClick(f.results, Qt::Key_Down);
    EXPECT_EQ(f.results->text(), "2");

    // At the end of the 32-bit range the unbounded field stays put.
    f.skip->SetValue(INT32_MAX);
    f.skip->UpClick();
    EXPECT_EQ(f.skip->Value(), INT32_MAX);
    f.skip->SetValue(INT32_MIN);
    f.skip->DownClick();
    EXPECT_EQ(f.skip->Value(), INT32_MIN);

    // The buttons sit at the right end, up above down; a click steps once.
    f.skip->SetValue(0);
    TSpinArrowButton* up = f.skip->UpButton();
    TSpinArrowButton* down = f.skip->DownButton();
    EXPECT_GE(up->geometry().right(), f.skip->width() - 3);
    EXPECT_GE(up->width(), 16);  // easy to hit
    EXPECT_GE(up->height(), 9);
    EXPECT_LT(up->y(), down->y());
    QTest::mouseClick(down, Qt::LeftButton, Qt::NoModifier, QPoint(5, 4));
    EXPECT_EQ(f.skip->text(), "-1");
    QTest::mouseClick(up, Qt::LeftButton, Qt::NoModifier, QPoint(5, 4));
    QTest::mouseClick(up, Qt::LeftButton, Qt::NoModifier, QPoint(5, 4));
    EXPECT_EQ(f.skip->text(), "1");
    EXPECT_FALSE(up->RepeatTimer().isActive());
    QTest::mouseClick(up, Qt::RightButton, Qt::NoModifier, QPoint(5, 4));
    EXPECT_EQ(f.skip->text(), "1");
}

TEST(SpinEdit, AHeldArrowRepeatsAfter400ThenEvery100WhileThePointerIsOnIt) {
    Fields f;
    f.skip->SetValue(0);
    TSpinArrowButton* up = f.skip->UpButton();
    const QPoint on(5, 4);

    QTest::mousePress(up, Qt::LeftButton, Qt::NoModifier, on);
    EXPECT_EQ(f.skip->Value(), 1);  // the press steps at once
    EXPECT_TRUE(up->IsDown());
    ASSERT_TRUE(up->RepeatTimer().isActive());
    EXPECT_EQ(up->RepeatTimer().interval(), TSpinArrowButton::InitRepeatPause);
    FireRepeat(up);
    EXPECT_EQ(f.skip->Value(), 2);
    EXPECT_EQ(up->RepeatTimer().interval(), TSpinArrowButton::RepeatPause);
    FireRepeat(up);
    EXPECT_EQ(f.skip->Value(), 3);

    // Off the arrow the repeat pauses; back on it resumes.
    Move(up, QPoint(-20, 40), Qt::LeftButton);
    EXPECT_FALSE(up->IsDown());
    FireRepeat(up);
    EXPECT_EQ(f.skip->Value(), 3);
    Move(up, on, Qt::LeftButton);
    FireRepeat(up);
    EXPECT_EQ(f.skip->Value(), 4);

    // Releasing ends it, and the release itself does not step.
    QTest::mouseRelease(up, Qt::LeftButton, Qt::NoModifier, on);
    EXPECT_EQ(f.skip->Value(), 4);
    EXPECT_FALSE(up->RepeatTimer().isActive());
    FireRepeat(up);
    EXPECT_EQ(f.skip->Value(), 4);
}

TEST(SpinEdit, TheRepeatKeepsItsPausesInRealTime) {
    Fields f;
    f.results->SetValue(20);
    TSpinArrowButton* down = f.results->DownButton();
    std::vector<qint64> stepsAt;
    QElapsedTimer clock;
    QObject::connect(f.results, &QLineEdit::textChanged,
                     [&] { stepsAt.push_back(clock.elapsed()); });
    clock.start();
    QTest::mousePress(down, Qt::LeftButton, Qt::NoModifier, QPoint(5, 4));
    // Wait for two repeats; a loaded machine only makes them later.
    for (int i = 0; i < 100 && stepsAt.size() < 3; ++i) {
        QTest::qWait(50);
    }
    QTest::mouseRelease(down, Qt::LeftButton, Qt::NoModifier, QPoint(5, 4));
    ASSERT_GE(stepsAt.size(), 3u);
    EXPECT_GE(stepsAt[1] - stepsAt[0], 395);
    EXPECT_GE(stepsAt[2] - stepsAt[1], 95);
    const int after = f.results->Value();
    QTest::qWait(250);
    EXPECT_EQ(f.results->Value(), after);  // nothing after the release
    // The repeat stops at the minimum like any other step.
    EXPECT_GE(after, 2);
}

TEST(SpinEdit, LeavingTheFieldClampsWhatParses) {
    Fields f;
    const std::pair<const char*, const char*> cases[] = {
        {"50", "30"}, {"1", "2"}, {"25", "25"}, {"", ""}, {"-", "-"}, {"1.", "1."}, {"-9", "2"}};
    for (const auto& [typed, left] : cases) {
        f.results->setText(QString::fromLatin1(typed));
        SendFocusOut(f.results, Qt::TabFocusReason);
        EXPECT_EQ(f.results->text(), QString::fromLatin1(left)) << typed;
    }
    f.skip->setText("-77");
    SendFocusOut(f.skip, Qt::MouseFocusReason);
    EXPECT_EQ(f.skip->text(), "-77");

    // Another window taking the focus, or a menu, is not leaving the field.
    f.results->setText("50");
    SendFocusOut(f.results, Qt::ActiveWindowFocusReason);
    SendFocusOut(f.results, Qt::PopupFocusReason);
    EXPECT_EQ(f.results->text(), "50");

    // A real move of the focus to the other field.
    f.host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.host));
    f.results->setFocus(Qt::TabFocusReason);
    f.skip->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(f.results->text(), "30");
}

TEST(SpinEdit, TypingTakesValidCharactersUpToTwoAndBeepsAtOthers) {
    Fields f;
    QSignalSpy beeps(f.results, &TSpinEdit::Refused);
    f.results->setText(QString());
    QTest::keyClicks(f.results, "123");
    EXPECT_EQ(f.results->text(), "12");  // the third is refused, without a beep
    EXPECT_EQ(beeps.count(), 0);

    f.results->setText(QString());
    QTest::keyClicks(f.results, "a");
    QTest::keyClicks(f.results, " ");
    QTest::keyClicks(f.results, "e");
    EXPECT_EQ(f.results->text(), "");
    EXPECT_EQ(beeps.count(), 3);
    QTest::keyClicks(f.results, "-");
    QTest::keyClicks(f.results, "+");
    EXPECT_EQ(f.results->text(), "-+");
    f.results->setText(QString());
    const QString sep = QLocale().decimalPoint();
    QTest::keyClicks(f.results, sep);
    EXPECT_EQ(f.results->text(), sep);
    EXPECT_EQ(beeps.count(), 3);

    // Control keys edit as usual.
    f.results->setText("12");
    f.results->setCursorPosition(2);
    QTest::keyClick(f.results, Qt::Key_Backspace);
    EXPECT_EQ(f.results->text(), "1");
    QTest::keyClick(f.results, Qt::Key_Home);
    QTest::keyClick(f.results, Qt::Key_Delete);
    EXPECT_EQ(f.results->text(), "");
    EXPECT_EQ(beeps.count(), 3);
}

TEST(SpinEdit, TheDecimalSeparatorIsTheLocales) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(TSpinEdit::IsValidChar(QLatin1Char(',')));
    EXPECT_FALSE(TSpinEdit::IsValidChar(QLatin1Char('.')));
    QLocale::setDefault(QLocale::c());
    EXPECT_TRUE(TSpinEdit::IsValidChar(QLatin1Char('.')));
    EXPECT_FALSE(TSpinEdit::IsValidChar(QLatin1Char(',')));
    EXPECT_TRUE(TSpinEdit::IsValidChar(QChar(0x08)));
    EXPECT_FALSE(TSpinEdit::IsValidChar(QChar(0x0663)));  // a digit, but not one of 0..9
    QLocale::setDefault(saved);
}

TEST(SpinEdit, LongerTextsComeOnlyFromSetting) {
    Fields f;
    f.skip->SetValue(12345);
    EXPECT_EQ(f.skip->text(), "12345");
    f.skip->setCursorPosition(5);
    QTest::keyClicks(f.skip, "6");
    EXPECT_EQ(f.skip->text(), "12345");
    QTest::keyClick(f.skip, Qt::Key_Backspace);
    EXPECT_EQ(f.skip->text(), "1234");  // shortening is always allowed
    QTest::keyClicks(f.skip, "5");
    EXPECT_EQ(f.skip->text(), "1234");
    f.skip->selectAll();
    QTest::keyClicks(f.skip, "7");
    EXPECT_EQ(f.skip->text(), "7");

    // Pasting follows the rules of typing.
    QSignalSpy beeps(f.skip, &TSpinEdit::Refused);
    QApplication::clipboard()->setText("9");
    QTest::keySequence(f.skip, QKeySequence::Paste);
    EXPECT_EQ(f.skip->text(), "79");
    f.skip->selectAll();
    QApplication::clipboard()->setText("123");
    QTest::keySequence(f.skip, QKeySequence::Paste);
    EXPECT_EQ(f.skip->text(), "79");
    QApplication::clipboard()->setText("4x");
    QTest::keySequence(f.skip, QKeySequence::Paste);
    EXPECT_EQ(f.skip->text(), "79");
    EXPECT_EQ(beeps.count(), 1);

    // So does the Paste of the shortcut menu.
    f.skip->setText(QString());
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                f.skip->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(f.skip, &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* paste = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->text().startsWith("&Paste"))
            paste = a;
    }
    ASSERT_NE(paste, nullptr);
    paste->trigger();
    EXPECT_EQ(f.skip->text(), "");
    EXPECT_EQ(beeps.count(), 2);
    menu->close();
}

}  // namespace
}  // namespace corvane::ui
