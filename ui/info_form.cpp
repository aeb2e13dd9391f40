#include "ui/info_form.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

#include "ui/fonts.h"
#include "ui/oval_button.h"
#include "ui/pictures.h"
#include "ui/product_info.h"
#include "ui/shell_open.h"
#include "ui/url_label.h"

namespace corvane::ui {

namespace {

QLabel* MakeLabel(QWidget* parent, const QString& text, const QRect& box, const QFont& font) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(box);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setFont(font);
    return label;
}

TOvalButton* MakeButton(QWidget* parent, const QString& caption, const QRect& box) {
    auto* button = new TOvalButton(parent);
    button->setGeometry(box);
    button->SetCaption(caption);
    button->SetBevelWidth(2);
    button->SetSystemColor(QPalette::Button);
    button->SetLayout(blGlyphBottom);
    button->SetSpacing(4);
    button->SetTransparentColor(QColor(0, 0, 0));
    button->SetFont(DesignFont(kSansSerifFace, 8, true));
    button->setCursor(Qt::PointingHandCursor);
    button->SetSmooth(true);
    return button;
}

}  // namespace

TInfoForm::TInfoForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("About..."));
    setFont(DesignFont(kArialFace, 9));
    setFixedSize(329, 274);

    Panel1 = new QFrame(this);
    Panel1->setGeometry(0, 0, 329, 236);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Panel1->setAutoFillBackground(true);

    QFont title = DesignFontPixels(kArialFace, 20, true);
    title.setUnderline(true);
    Label7 = MakeLabel(Panel1, kProductName, QRect(10, 10, 159, 30), title);
    Label2 = MakeLabel(Panel1, kMakerNotice, QRect(176, 52, 140, 54), DesignFont(kArialFace, 8));

    URLLabel2 = new TURLLabel(Panel1);
    URLLabel2->SetURLType(utMailTo);
    URLLabel2->move(198, 109);
    URLLabel2->SetCaption(kSupportMail);

    Image1 = new QLabel(Panel1);
    Image1->setGeometry(19, 65, 121, 146);
    Image1->setScaledContents(true);
    Image1->setPixmap(ProductPicture());

    // The two buttons below the panel, as far from the sides as from each
    // other's side: Support at the left, Close at the right.
    OvalButton1 = MakeButton(this, QStringLiteral("Support"), QRect(9, 240, 64, 31));
    OvalButton1->setToolTip(QStringLiteral("Visit the Customer Care Center"));
    BitBtn3 = MakeButton(this, QStringLiteral("Close"), QRect(329 - 9 - 64, 240, 64, 31));
    setTabOrder(BitBtn3, OvalButton1);

    connect(OvalButton1, &TOvalButton::OnClick, this, &TInfoForm::OvalButton1Click);
    connect(BitBtn3, &TOvalButton::OnClick, this, &TInfoForm::BitBtn3Click);
}

int TInfoForm::ShowModal() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    // Enter and Space close the box until the user moves to Support.
    BitBtn3->setFocus(Qt::OtherFocusReason);
    return exec();
}

void TInfoForm::BitBtn3Click() {
    done(1);
}

void TInfoForm::OvalButton1Click() {
    ShellOpen(kCustomerCareUrl, ShellShow::Maximized);
}

void TInfoForm::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() == 1 && text[0].isPrint() && OfferDialogChar(this, text[0])) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace corvane::ui
