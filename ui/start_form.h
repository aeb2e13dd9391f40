// The Locate dialog: what to survey (a keyword or a target domain), how many
// results to take and how many to skip. Created once at start-up, when it
// loads its four inputs from the per-user store; hidden between uses; every
// close saves them. Search clears engine::StopFlag, Cancel sets it.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

#include "ui/spin_edit.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace corvane::ui {

class TStartForm : public QDialog {
    Q_OBJECT
  public:
    // The store key of the four inputs, under the current user's root.
    static constexpr const char* kSetupKey = "\\Software\\Vestrel\\Brindlemark\\Setup";

    // FormCreate: builds the controls and loads the four inputs from the
    // per-user store (platform::UserStore under $XDG_CONFIG_HOME, default
    // ~/.config).
    explicit TStartForm(QWidget* parent = nullptr);

    // Shows the dialog modally, centred on the screen; returns when it has
    // closed (by Search, Cancel or the close box; every close saves the
    // inputs).
    void ShowModal();

    bool IsKeywordMode() const;            // rbKeyword checked
    std::string KeywordText() const;       // LabeledEdit1, UTF-8
    std::string DomainText() const;        // HomepageEdit, UTF-8
    std::int32_t SkipValue() const;        // SkipSpinEdit by the reading rule
    std::int32_t MaxResultsValue() const;  // MaxResultsSpinEdit by the reading rule

    // The controls, with their form names.
    QRadioButton* rbKeyword = nullptr;
    QRadioButton* rbDomain = nullptr;
    QLineEdit* LabeledEdit1 = nullptr;
    QLineEdit* HomepageEdit = nullptr;
    TSpinEdit* SkipSpinEdit = nullptr;
    TSpinEdit* MaxResultsSpinEdit = nullptr;
    QPushButton* BitBtn1 = nullptr;  // "Search"
    QPushButton* BitBtn2 = nullptr;  // "Cancel"
    QGroupBox* GroupBox1 = nullptr;
    QLabel* LabeledEdit1Label = nullptr;  // above LabeledEdit1
    QLabel* HomepageEditLabel = nullptr;  // above HomepageEdit
    QLabel* Label1 = nullptr;             // "Number of Results"
    QLabel* Label2 = nullptr;             // "results"
    QLabel* Label3 = nullptr;             // "Skip first"

  public slots:
    // Search: modal result OK, process pending events, clear engine::StopFlag.
    void BitBtn1Click();
    // Cancel: set engine::StopFlag, close with a non-OK result.
    void BitBtn2Click();

  public:
    // Every close (Search, Cancel, the close box) goes through here: the
    // inputs are saved, then the dialog closes.
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FormCreate();
    void FormCloseQuery();
};

}  // namespace corvane::ui
