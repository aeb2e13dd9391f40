#include "ui/start_form.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>

#include "engine/survey_host.h"
#include "layout_checks.h"
#include "platform/user_store.h"
#include "qt_env.h"

namespace corvane::ui {
namespace {

namespace fs = std::filesystem;
using platform::UserStore;
using platform::UserStoreError;

// Each test gets a configuration folder of its own.
class StartFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/corvane-locate-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld_ = old != nullptr;
        old_ = old ? old : "";
        ::setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        engine::StopFlag = false;
    }
    void TearDown() override {
        if (hadOld_) {
            ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        fs::remove_all(root_);
    }
    std::string File() const { return root_ + "/corvane/user-store.txt"; }
    // The store as a later start would see it.
    static UserStore Stored() {
        UserStore store;
        if (!store.OpenKey(TStartForm::kSetupKey, false)) {
            throw UserStoreError("no key");
        }
        return store;
    }
    static UserStore NewSetup() {
        UserStore store;
        store.OpenKey(TStartForm::kSetupKey, true);
        return store;
    }
    static void ExpectDefaults(const TStartForm& form) {
        EXPECT_TRUE(form.IsKeywordMode());
        EXPECT_EQ(form.LabeledEdit1->text(), "");
        EXPECT_EQ(form.HomepageEdit->text(), "");
        EXPECT_EQ(form.SkipSpinEdit->text(), "0");
        EXPECT_EQ(form.MaxResultsSpinEdit->text(), "20");
    }

    std::string root_;
    std::string old_;
    bool hadOld_ = false;
};

TEST_F(StartFormTest, ControlsAndCaptions) {
    TStartForm form;
    EXPECT_EQ(form.windowTitle(), "Locate...");
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(form.font().family(), "MS Sans Serif");
    EXPECT_EQ(form.font().pixelSize(), 11);

    EXPECT_TRUE(form.GroupBox1->title().isEmpty());
    for (QWidget* w :
         {static_cast<QWidget*>(form.rbKeyword), static_cast<QWidget*>(form.rbDomain),
          static_cast<QWidget*>(form.LabeledEdit1), static_cast<QWidget*>(form.HomepageEdit),
          static_cast<QWidget*>(form.SkipSpinEdit),
          static_cast<QWidget*>(form.MaxResultsSpinEdit)}) {
        EXPECT_EQ(w->parentWidget(), form.GroupBox1) << w->objectName().toStdString();
    }
    EXPECT_EQ(form.BitBtn1->parentWidget(), &form);
    EXPECT_EQ(form.BitBtn2->parentWidget(), &form);
    EXPECT_EQ(form.rbKeyword->text(), "Search for keyword...");
    EXPECT_EQ(form.rbDomain->text(), "Search for domain...");
    EXPECT_EQ(form.BitBtn1->text(), "Search");
    EXPECT_EQ(form.BitBtn2->text(), "Cancel");
    EXPECT_EQ(form.LabeledEdit1Label->text(), "Enter keyword or phrase related to your business:");
    EXPECT_TRUE(form.HomepageEditLabel->text().startsWith("Target URL (e.g. "));
    EXPECT_TRUE(form.HomepageEditLabel->text().endsWith(")"));
    EXPECT_EQ(form.Label3->text(), "Skip first");
    EXPECT_EQ(form.Label2->text(), "results");
    EXPECT_EQ(form.Label1->text(), "Number of Results");

    // Neither button is a default button; both text boxes are editable in
    // either mode.
    for (QPushButton* b : {form.BitBtn1, form.BitBtn2}) {
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
    }
    form.rbDomain->click();
    EXPECT_FALSE(form.rbKeyword->isChecked());
    EXPECT_FALSE(form.IsKeywordMode());
    EXPECT_TRUE(form.LabeledEdit1->isEnabled() && form.HomepageEdit->isEnabled());
    form.rbKeyword->click();
    EXPECT_TRUE(form.IsKeywordMode());
}

TEST_F(StartFormTest, LabelsBelongToTheirFieldsAndNothingOverlaps) {
    TStartForm form;
    form.show();
    testing::ExpectTidy(&form);
    testing::ExpectTidy(form.GroupBox1);
    // The text boxes' labels sit above them, 3 pixels clear and wide enough
    // for their text; the spin fields' labels on their line, "Skip first"
    // [field] "results".
    for (auto [label, edit] :
         {std::pair<QLabel*, QWidget*>{form.LabeledEdit1Label, form.LabeledEdit1},
          {form.HomepageEditLabel, form.HomepageEdit}}) {
        EXPECT_EQ(label->x(), edit->x());
        EXPECT_EQ(label->geometry().bottom() + 1 + 3, edit->y());
        EXPECT_GE(label->width(), label->sizeHint().width());
    }
    for (auto [label, field, left] :
         {std::tuple<QLabel*, QWidget*, bool>{form.Label3, form.SkipSpinEdit, true},
          {form.Label2, form.SkipSpinEdit, false},
          {form.Label1, form.MaxResultsSpinEdit, true}}) {
        EXPECT_TRUE(label->geometry().bottom() >= field->geometry().center().y() &&
                    label->geometry().top() <= field->geometry().center().y())
            << label->text().toStdString();
        EXPECT_TRUE(left ? label->geometry().right() < field->x()
                         : label->x() > field->geometry().right())
            << label->text().toStdString();
    }
}

TEST_F(StartFormTest, WithNoKeyEverythingHasItsDefaultAndNothingIsWritten) {
    TStartForm form;
    ExpectDefaults(form);
    EXPECT_EQ(form.SkipValue(), 0);
    EXPECT_EQ(form.MaxResultsValue(), 20);
    EXPECT_FALSE(fs::exists(root_ + "/corvane"));
}

TEST_F(StartFormTest, LoadsTheFourInputsClampingOnlyTheResultCount) {
    {
        UserStore s = NewSetup();
        s.WriteString("keyterm", "garden sheds \xc3\xa9t\xc3\xa9");
        s.WriteString("home", "www.example.org");
        s.WriteInteger("skip", -5);
        s.WriteInteger("results", 25);
    }
    {
        TStartForm form;
        EXPECT_EQ(form.KeywordText(), "garden sheds \xc3\xa9t\xc3\xa9");
        EXPECT_EQ(form.DomainText(), "www.example.org");
        EXPECT_EQ(form.SkipValue(), -5);
        EXPECT_EQ(form.MaxResultsValue(), 25);
        EXPECT_TRUE(form.IsKeywordMode());  // the mode is never stored
    }
    const std::pair<int, const char*> results[] = {{1, "2"}, {99, "30"}, {2, "2"}, {30, "30"}};
    for (const auto& [stored, shown] : results) {
        NewSetup().WriteInteger("results", stored);
        TStartForm form;
        EXPECT_EQ(form.MaxResultsSpinEdit->text(), QString::fromLatin1(shown)) << stored;
    }
}

TEST_F(StartFormTest, AValueOfTheWrongTypeEndsTheLoadingThere) {
    {
        UserStore s = NewSetup();
        s.WriteInteger("keyterm", 7);
        s.WriteString("home", "www.example.org");
        s.WriteInteger("skip", 3);
        s.WriteInteger("results", 25);
    }
    {
        TStartForm form;
        ExpectDefaults(form);
    }
    {
        UserStore s = NewSetup();
        s.WriteString("keyterm", "kw");
        s.WriteString("skip", "3");
    }
    TStartForm form;
    EXPECT_EQ(form.KeywordText(), "kw");
    EXPECT_EQ(form.DomainText(), "www.example.org");
    EXPECT_EQ(form.SkipSpinEdit->text(), "0");
    EXPECT_EQ(form.MaxResultsSpinEdit->text(), "20");  // "results" of 25 is never reached
}

TEST_F(StartFormTest, ADamagedStoreLoadsNothingAndTheNextCloseKeepsItAside) {
    fs::create_directories(root_ + "/corvane");
    const std::string broken =
        "corvane-user-store 1\n[Software\\Vestrel\\Brindlemark\\Setup]\n\"keyterm\" = string \"x";
    std::ofstream(File(), std::ios::binary) << broken;
    TStartForm form;
    ExpectDefaults(form);
    form.LabeledEdit1->setText("new");
    form.BitBtn2Click();
    std::ifstream aside(File() + ".damaged", std::ios::binary);
    std::ostringstream kept;
    kept << aside.rdbuf();
    EXPECT_EQ(kept.str(), broken);
    EXPECT_EQ(Stored().ReadString("keyterm"), "new");
}

TEST_F(StartFormTest, SearchClosesWithOkSavesAndClearsTheStopFlagAfterPendingEvents) {
    TStartForm form;
    form.show();
    form.LabeledEdit1->setText("roof tiles");
    form.rbDomain->setChecked(true);
    form.HomepageEdit->setText("www.example.net");
    form.SkipSpinEdit->SetValue(10);
    form.MaxResultsSpinEdit->SetValue(5);
    engine::StopFlag = true;
    // Pending when Search is pressed: it runs first, and the flag is still cleared after it.
    QTimer::singleShot(0, [] { engine::StopFlag = true; });
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(engine::StopFlag);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);

    UserStore s = Stored();
    EXPECT_EQ(s.ReadString("keyterm"), "roof tiles");
    EXPECT_EQ(s.ReadString("home"), "www.example.net");
    EXPECT_EQ(s.ReadInteger("skip"), 10);
    EXPECT_EQ(s.ReadInteger("results"), 5);
    // The dialog keeps its inputs between uses.
    EXPECT_FALSE(form.IsKeywordMode());
    EXPECT_EQ(form.DomainText(), "www.example.net");
}

TEST_F(StartFormTest, CancelSetsTheStopFlagAndSaves) {
    TStartForm form;
    form.show();
    form.LabeledEdit1->setText("kw");
    QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
    EXPECT_TRUE(engine::StopFlag);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(Stored().ReadString("keyterm"), "kw");
    EXPECT_EQ(Stored().ReadInteger("results"), 20);
}

TEST_F(StartFormTest, TheCloseBoxLeavesTheFlagAndSavesWhatIsStillBeingTyped) {
    for (bool flag : {true, false}) {
        TStartForm form;
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        form.MaxResultsSpinEdit->setFocus();
        form.MaxResultsSpinEdit->selectAll();
        QTest::keyClicks(form.MaxResultsSpinEdit, "50");
        ASSERT_EQ(form.MaxResultsSpinEdit->text(), "50");
        engine::StopFlag = flag;
        EXPECT_TRUE(form.close());  // the close box
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(engine::StopFlag, flag);
        EXPECT_EQ(form.result(), QDialog::Rejected);
        // Unclamped, for the caller and in the store; the next start loads 30.
        EXPECT_EQ(form.MaxResultsValue(), 50);
        EXPECT_EQ(Stored().ReadInteger("results"), 50);
        TStartForm next;
        EXPECT_EQ(next.MaxResultsSpinEdit->text(), "30");
    }
}

TEST_F(StartFormTest, EmptyCountsReadAsTheirMinimumForTheCallerAndTheStore) {
    TStartForm form;
    form.SkipSpinEdit->setText(QString());
    form.MaxResultsSpinEdit->setText(QString());
    EXPECT_EQ(form.SkipValue(), 0);
    EXPECT_EQ(form.MaxResultsValue(), 2);
    form.BitBtn2Click();
    EXPECT_EQ(Stored().ReadInteger("skip"), 0);
    EXPECT_EQ(Stored().ReadInteger("results"), 2);
    EXPECT_EQ(Stored().ReadString("keyterm"), "");
    EXPECT_EQ(Stored().ReadString("home"), "");

    // A skip count typed as "-" is 0 too; a negative one is kept as it is.
    form.SkipSpinEdit->setText("-");
    form.BitBtn2Click();
    EXPECT_EQ(Stored().ReadInteger("skip"), 0);
    form.SkipSpinEdit->setText("-9");
    form.BitBtn2Click();
    EXPECT_EQ(Stored().ReadInteger("skip"), -9);
}

TEST_F(StartFormTest, AStoreThatCannotBeWrittenStillLetsTheDialogClose) {
    std::ofstream(root_ + "/corvane") << "a file where the folder should be";
    TStartForm form;
    form.show();
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(engine::StopFlag);
    form.show();
    QTest::mouseClick(form.BitBtn2, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(engine::StopFlag);
}

TEST_F(StartFormTest, ShowModalCentresAndOnlyTheButtonsOrTheCloseBoxEndIt) {
    TStartForm form;
    bool stillOpenAfterKeys = false;
    QPoint centre;
    QTimer::singleShot(0, &form, [&] {
        centre = form.geometry().center();
        form.LabeledEdit1->setFocus();
        QTest::keyClick(form.LabeledEdit1, Qt::Key_Escape);
        QTest::keyClick(form.LabeledEdit1, Qt::Key_Return);
        QTest::keyClick(form.MaxResultsSpinEdit, Qt::Key_Escape);
        QTest::keyClick(form.MaxResultsSpinEdit, Qt::Key_Enter);
        QTest::keyClick(&form, Qt::Key_Escape);
        stillOpenAfterKeys = form.isVisible();
        form.BitBtn1->click();
    });
    engine::StopFlag = true;
    form.ShowModal();
    EXPECT_TRUE(stillOpenAfterKeys);
    EXPECT_FALSE(engine::StopFlag);
    const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 4);  // rounding of odd sizes

    // Shown again, the close box ends it.
    QTimer::singleShot(0, &form, [&] { form.close(); });
    form.ShowModal();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(engine::StopFlag);
}

TEST_F(StartFormTest, TypingGoesToTheFieldOfTheSelectedMode) {
    TStartForm form;
    form.LabeledEdit1->setText("old words");
    for (bool keyword : {true, false}) {
        (keyword ? form.rbKeyword : form.rbDomain)->setChecked(true);
        QLineEdit* expected = keyword ? form.LabeledEdit1 : form.HomepageEdit;
        QWidget* focused = nullptr;
        QTimer::singleShot(0, &form, [&] {
            focused = form.focusWidget();  // where keys go once the window is active
            if (focused != nullptr) {
                QTest::keyClicks(focused, "typed");
            }
            form.BitBtn1->click();
        });
        form.ShowModal();
        EXPECT_EQ(focused, expected) << keyword;
        EXPECT_EQ(expected->text(), "typed") << keyword;  // in place of what it held
    }
}

}  // namespace
}  // namespace corvane::ui
