#include "ui/start_form.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/survey_host.h"

namespace corvane::ui {

TStartForm::TStartForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Locate..."));
    GroupBox1 = new QGroupBox(this);
    rbKeyword = new QRadioButton(QStringLiteral("Search for keyword..."), GroupBox1);
    rbDomain = new QRadioButton(QStringLiteral("Search for domain..."), GroupBox1);
    rbKeyword->setChecked(true);
    LabeledEdit1 = new QLineEdit(GroupBox1);
    HomepageEdit = new QLineEdit(GroupBox1);
    SkipSpinEdit = new TSpinEdit(GroupBox1);
    MaxResultsSpinEdit = new TSpinEdit(GroupBox1);
    BitBtn1 = new QPushButton(QStringLiteral("Search"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), this);
}

void TStartForm::ShowModal() { exec(); }
bool TStartForm::IsKeywordMode() const { return rbKeyword->isChecked(); }
std::string TStartForm::KeywordText() const { return LabeledEdit1->text().toStdString(); }
std::string TStartForm::DomainText() const { return HomepageEdit->text().toStdString(); }
std::int32_t TStartForm::SkipValue() const { return SkipSpinEdit->Value(); }
std::int32_t TStartForm::MaxResultsValue() const { return MaxResultsSpinEdit->Value(); }
void TStartForm::BitBtn1Click() {
    accept();
    engine::StopFlag = false;
}
void TStartForm::BitBtn2Click() {
    engine::StopFlag = true;
    reject();
}
void TStartForm::done(int result) { QDialog::done(result); }
void TStartForm::keyPressEvent(QKeyEvent* event) { QDialog::keyPressEvent(event); }
void TStartForm::FormCreate() {}
void TStartForm::FormCloseQuery() {}

}  // namespace corvane::ui
