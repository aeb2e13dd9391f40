// The About box: product name, picture, the maker's notice, a mail link to
// the support address, and the Support and Close buttons. Created once and
// hidden between uses; ShowModal shows it until Close or the close box.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;

namespace corvane::ui {

class TOvalButton;
class TURLLabel;

class TInfoForm : public QDialog {
    Q_OBJECT
  public:
    explicit TInfoForm(QWidget* parent = nullptr);

    // Centres the box on the screen and shows it modally; returns when it
    // closes.
    int ShowModal();

    QFrame* Panel1 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label2 = nullptr;
    TURLLabel* URLLabel2 = nullptr;
    QLabel* Image1 = nullptr;
    TOvalButton* OvalButton1 = nullptr;  // "Support"
    TOvalButton* BitBtn3 = nullptr;      // "Close"

  public slots:
    // Close: ends the modal run with a non-zero result.
    void BitBtn3Click();
    // Support: opens the customer-care page (shown maximised); the box stays.
    void OvalButton1Click();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace corvane::ui
