#include "ui/start_form.h"

#include <QApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "engine/survey_host.h"
#include "platform/user_store.h"
#include "ui/fonts.h"

namespace corvane::ui {

namespace {

// Label of a text box, above it and 3 pixels clear of it.
constexpr int kEditLabelSpacing = 3;
// Labels beside a spin field keep this far from it.
constexpr int kSideLabelGap = 6;
// The spin fields: room for two digits and arrow buttons that are easy to
// hit.
constexpr int kSpinFieldWidth = 58;
constexpr int kSpinFieldHeight = 24;

const QString kExampleHost = QStringLiteral("www.example.com");

QLabel* MakeLabel(QWidget* parent, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// Places `label` above `edit`, left edges aligned.
void PlaceAbove(QLabel* label, const QWidget* edit) {
    const QSize size = label->sizeHint();
    label->setGeometry(edit->x(), edit->y() - kEditLabelSpacing - size.height(), size.width(),
                       size.height());
}

// Places `label` on the line of `field`, ending left of it or starting right of it.
void PlaceBeside(QLabel* label, const QWidget* field, bool left) {
    const QSize size = label->sizeHint();
    const int y = field->y() + (field->height() - size.height()) / 2;
    const int x = left ? field->x() - kSideLabelGap - size.width()
                       : field->x() + field->width() + kSideLabelGap;
    label->setGeometry(x, y, size.width(), size.height());
}

// The buttons' pictures: a magnifying glass for Search, a red cross for
// Cancel, drawn once at the size of a button glyph.
QPixmap SearchPicture() {
    QPixmap pm(18, 18);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.setBrush(QColor(200, 230, 255));
    p.drawEllipse(QRectF(2, 2, 10, 10));
    p.setPen(QPen(QColor(96, 64, 32), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11.5, 11.5), QPointF(16, 16));
    return pm;
}

QPixmap CancelPicture() {
    QPixmap pm(18, 18);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(192, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(14, 14));
    p.drawLine(QPointF(14, 4), QPointF(4, 14));
    return pm;
}

QPushButton* MakeButton(QWidget* parent, const QString& caption, const QPixmap& picture,
                        const QRect& box) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(box);
    button->setIcon(QIcon(picture));
    button->setIconSize(picture.size());
    // Neither button answers Enter: no default, and none becomes the
    // default on taking the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// Clears engine::StopFlag when it goes, also on the way out of an
// exception.
class ClearStopFlagOnExit {
  public:
    ClearStopFlagOnExit() = default;
    ~ClearStopFlagOnExit() { engine::StopFlag = false; }
    ClearStopFlagOnExit(const ClearStopFlagOnExit&) = delete;
    ClearStopFlagOnExit& operator=(const ClearStopFlagOnExit&) = delete;
};

// Names of the stored values.
constexpr const char* kKeyterm = "keyterm";
constexpr const char* kHome = "home";
constexpr const char* kSkip = "skip";
constexpr const char* kResults = "results";

}  // namespace

TStartForm::TStartForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("StartForm"));
    setWindowTitle(QStringLiteral("Locate..."));
    setFont(DesignFont(kSansSerifFace, 8));
    setFixedSize(379, 304);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(10, 6, 359, 240);

    rbKeyword = new QRadioButton(QStringLiteral("Search for keyword..."), GroupBox1);
    rbKeyword->setObjectName(QStringLiteral("rbKeyword"));
    rbKeyword->setGeometry(23, 26, 136, 17);
    rbKeyword->setChecked(true);

    LabeledEdit1 = new QLineEdit(GroupBox1);
    LabeledEdit1->setObjectName(QStringLiteral("LabeledEdit1"));
    LabeledEdit1->setGeometry(78, 61, 228, 21);
    LabeledEdit1Label =
        MakeLabel(GroupBox1, QStringLiteral("Enter keyword or phrase related to your business:"));
    PlaceAbove(LabeledEdit1Label, LabeledEdit1);

    rbDomain = new QRadioButton(QStringLiteral("Search for domain..."), GroupBox1);
    rbDomain->setObjectName(QStringLiteral("rbDomain"));
    rbDomain->setGeometry(23, 96, 136, 17);

    HomepageEdit = new QLineEdit(GroupBox1);
    HomepageEdit->setObjectName(QStringLiteral("HomepageEdit"));
    HomepageEdit->setGeometry(79, 132, 226, 21);
    HomepageEditLabel =
        MakeLabel(GroupBox1, QStringLiteral("Target URL (e.g. ") + kExampleHost + QLatin1Char(')'));
    PlaceAbove(HomepageEditLabel, HomepageEdit);

    // The skip count is unbounded: minimum and maximum both 0.
    SkipSpinEdit = new TSpinEdit(GroupBox1);
    SkipSpinEdit->setObjectName(QStringLiteral("SkipSpinEdit"));
    SkipSpinEdit->setGeometry(148, 172, kSpinFieldWidth, kSpinFieldHeight);
    SkipSpinEdit->SetMinValue(0);
    SkipSpinEdit->SetMaxValue(0);
    SkipSpinEdit->SetValue(0);
    Label3 = MakeLabel(GroupBox1, QStringLiteral("Skip first"));
    PlaceBeside(Label3, SkipSpinEdit, true);
    Label2 = MakeLabel(GroupBox1, QStringLiteral("results"));
    PlaceBeside(Label2, SkipSpinEdit, false);

    MaxResultsSpinEdit = new TSpinEdit(GroupBox1);
    MaxResultsSpinEdit->setObjectName(QStringLiteral("MaxResultsSpinEdit"));
    MaxResultsSpinEdit->setGeometry(148, 203, kSpinFieldWidth, kSpinFieldHeight);
    MaxResultsSpinEdit->SetMinValue(2);
    MaxResultsSpinEdit->SetMaxValue(30);
    MaxResultsSpinEdit->SetValue(20);
    Label1 = MakeLabel(GroupBox1, QStringLiteral("Number of Results"));
    PlaceBeside(Label1, MaxResultsSpinEdit, true);

    BitBtn2 = MakeButton(this, QStringLiteral("Cancel"), CancelPicture(), QRect(98, 264, 79, 35));
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn1 = MakeButton(this, QStringLiteral("Search"), SearchPicture(), QRect(245, 264, 123, 35));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    connect(BitBtn1, &QPushButton::clicked, this, &TStartForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TStartForm::BitBtn2Click);

    FormCreate();
}

void TStartForm::ShowModal() {
    QScreen* s = QGuiApplication::primaryScreen();
    if (s) {
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    exec();
}

bool TStartForm::IsKeywordMode() const {
    return rbKeyword->isChecked();
}

std::string TStartForm::KeywordText() const {
    return LabeledEdit1->text().toUtf8().toStdString();
}

std::string TStartForm::DomainText() const {
    return HomepageEdit->text().toUtf8().toStdString();
}

std::int32_t TStartForm::SkipValue() const {
    return SkipSpinEdit->Value();
}

std::int32_t TStartForm::MaxResultsValue() const {
    return MaxResultsSpinEdit->Value();
}

void TStartForm::BitBtn1Click() {
    done(QDialog::Accepted);
    // The flag is cleared after the pending events, whatever they did.
    const ClearStopFlagOnExit clear;
    QApplication::processEvents();
}

void TStartForm::BitBtn2Click() {
    engine::StopFlag = true;
    done(QDialog::Rejected);
}

void TStartForm::done(int result) {
    FormCloseQuery();
    QDialog::done(result);
}

void TStartForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Typing goes to the field of the selected mode, replacing what it holds.
    QLineEdit* field = IsKeywordMode() ? LabeledEdit1 : HomepageEdit;
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

void TStartForm::keyPressEvent(QKeyEvent* event) {
    // Escape presses no button and does not close the dialog: only Search,
    // Cancel and the close box do. (Enter needs nothing here: no button is a
    // default button.)
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TStartForm::FormCreate() {
    try {
        platform::UserStore reg;
        const bool open = reg.OpenKey(kSetupKey, false);
        auto has = [&](const char* name) { return open && reg.ValueExists(name); };
        LabeledEdit1->setText(has(kKeyterm) ? QString::fromUtf8(reg.ReadString(kKeyterm))
                                            : QString());
        HomepageEdit->setText(has(kHome) ? QString::fromUtf8(reg.ReadString(kHome)) : QString());
        if (has(kSkip)) {
            SkipSpinEdit->SetValue(reg.ReadInteger(kSkip));
        }
        if (has(kResults)) {
            MaxResultsSpinEdit->SetValue(reg.ReadInteger(kResults));
        }
    } catch (const platform::UserStoreError&) {
        // A value of the wrong type, or a store that cannot be read, ends
        // the loading here; what is not loaded yet keeps its default.
    }
}

void TStartForm::FormCloseQuery() {
    try {
        platform::UserStore reg;
        reg.OpenKey(kSetupKey, true);
        reg.WriteString(kKeyterm, LabeledEdit1->text().toUtf8().toStdString());
        reg.WriteString(kHome, HomepageEdit->text().toUtf8().toStdString());
        reg.WriteInteger(kSkip, SkipSpinEdit->Value());
        reg.WriteInteger(kResults, MaxResultsSpinEdit->Value());
    } catch (const platform::UserStoreError&) {
        // A store that cannot be written ends the saving here; the dialog
        // closes regardless.
    }
}

}  // namespace corvane::ui
