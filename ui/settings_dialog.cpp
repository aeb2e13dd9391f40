#include "ui/settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "ui/fonts.h"

namespace corvane::ui {

namespace {

using frontend::ProxyKind;
using frontend::UserSetting;

constexpr int kProgressSteps = 1000;

// The proxy kinds in the order of the combo box, which is that of ProxyKind.
const char* const kProxyCaptions[] = {"None", "HTTP", "SOCKS 4", "SOCKS 4A", "SOCKS 5"};

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

std::string Trimmed(const QLineEdit* edit) {
    return Utf8(edit->text().trimmed());
}

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A row of a form: the caption (with its access key) and the field it
// labels.
struct Row {
    const char* Caption;
    const char* LabelName;
    QWidget* Field;
};

void AddRows(QFormLayout* form, QWidget* group, std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        auto* label = Named(new QLabel(QString::fromLatin1(row.Caption), group), row.LabelName);
        label->setBuddy(row.Field);
        form->addRow(label, row.Field);
    }
}

QSpinBox* CountSpin(QWidget* parent, const char* name) {
    auto* spin = Named(new QSpinBox(parent), name);
    spin->setRange(1, frontend::FrontEndSettings::kMaxJobs);
    spin->setFixedWidth(72);
    return spin;
}

// "1.5 MB", "820 kB", "93 bytes".
QString Bytes(std::int64_t n) {
    if (n >= 1000 * 1000) {
        return QStringLiteral("%1 MB").arg(static_cast<double>(n) / 1e6, 0, 'f', 1);
    }
    if (n >= 1000) {
        return QStringLiteral("%1 kB").arg(n / 1000);
    }
    return QStringLiteral("%1 bytes").arg(n);
}

QString Lines(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines) {
        out << FromUtf8(line);
    }
    return out.join(QLatin1Char('\n'));
}

}  // namespace

void ListUpdateProgress::Report(const std::string& what, std::int64_t received,
                                std::int64_t total) {
    bool signal = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        what_ = what;
        received_ = received;
        total_ = total;
        signal = !signalled_;
        signalled_ = true;
    }
    // One signal waits at a time; it shows whatever is latest when it
    // arrives.
    if (signal) {
        emit dialog_.ListProgressReported();
    }
}

TSettingsDialog::TSettingsDialog(const frontend::UserSettings& settings,
                                 SettingsDialogServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      services_(std::move(services)),
      saved_(settings) {
    setObjectName(QStringLiteral("SettingsDialog"));
    setWindowTitle(QStringLiteral("Settings"));
    setFont(DesignFont(kSansSerifFace, 8));
    setModal(true);
    BuildControls();
    // Reports from the worker thread; the connections are queued whatever
    // thread sends them.
    connect(this, &TSettingsDialog::ListProgressReported, this, &TSettingsDialog::ShowListProgress,
            Qt::QueuedConnection);
    connect(this, &TSettingsDialog::ListUpdateEnded, this, &TSettingsDialog::FinishListUpdate,
            Qt::QueuedConnection);
    Load(settings);
    ShowListStatus();
}

TSettingsDialog::~TSettingsDialog() {
    CancelUpdate();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void TSettingsDialog::BuildControls() {
    auto* page = new QVBoxLayout(this);

    SearchGroup = Named(new QGroupBox(QStringLiteral("Search"), this), "SearchGroup");
    auto* search = new QFormLayout(SearchGroup);
    ProfileCombo = Named(new QComboBox(SearchGroup), "ProfileCombo");
    SearxngEdit = Named(new QLineEdit(SearchGroup), "SearxngEdit");
    SearxngEdit->setPlaceholderText(QStringLiteral("https://searx.example.org"));
    SearxngEdit->setMinimumWidth(300);
    AddRows(search, SearchGroup,
            {{"Search &profile:", "ProfileLabel", ProfileCombo},
             {"Sear&XNG address:", "SearxngLabel", SearxngEdit}});
    page->addWidget(SearchGroup);

    ListsGroup = Named(new QGroupBox(QStringLiteral("Rank lists"), this), "ListsGroup");
    auto* lists = new QVBoxLayout(ListsGroup);
    ListStatusLabel = Named(new QLabel(ListsGroup), "ListStatusLabel");
    ListStatusLabel->setTextFormat(Qt::PlainText);
    ListStatusLabel->setWordWrap(true);
    lists->addWidget(ListStatusLabel);
    auto* updateRow = new QHBoxLayout;
    UpdateListsButton =
        Named(new QPushButton(QStringLiteral("&Update lists"), ListsGroup), "UpdateListsButton");
    UpdateListsButton->setAutoDefault(false);
    ListProgress = Named(new QProgressBar(ListsGroup), "ListProgress");
    ListProgress->setRange(0, kProgressSteps);
    ListProgress->setValue(0);
    ListProgress->setTextVisible(false);
    updateRow->addWidget(UpdateListsButton);
    updateRow->addWidget(ListProgress, 1);
    lists->addLayout(updateRow);
    ListProgressLabel = Named(new QLabel(ListsGroup), "ListProgressLabel");
    ListProgressLabel->setTextFormat(Qt::PlainText);
    ListProgressLabel->setWordWrap(true);
    lists->addWidget(ListProgressLabel);
    connect(UpdateListsButton, &QPushButton::clicked, this, &TSettingsDialog::UpdateListsClick);
    page->addWidget(ListsGroup);

    ProxyGroup = Named(new QGroupBox(QStringLiteral("Proxy"), this), "ProxyGroup");
    auto* proxy = new QFormLayout(ProxyGroup);
    ProxyKindCombo = Named(new QComboBox(ProxyGroup), "ProxyKindCombo");
    for (const char* caption : kProxyCaptions) {
        ProxyKindCombo->addItem(QString::fromLatin1(caption));
    }
    ProxyHostEdit = Named(new QLineEdit(ProxyGroup), "ProxyHostEdit");
    ProxyPortSpin = Named(new QSpinBox(ProxyGroup), "ProxyPortSpin");
    ProxyPortSpin->setRange(0, 65535);
    ProxyPortSpin->setFixedWidth(90);
    ProxyUserEdit = Named(new QLineEdit(ProxyGroup), "ProxyUserEdit");
    ProxyPasswordEdit = Named(new QLineEdit(ProxyGroup), "ProxyPasswordEdit");
    ProxyPasswordEdit->setEchoMode(QLineEdit::Password);
    AddRows(proxy, ProxyGroup,
            {{"&Kind:", "ProxyKindLabel", ProxyKindCombo},
             {"&Host:", "ProxyHostLabel", ProxyHostEdit},
             {"Po&rt:", "ProxyPortLabel", ProxyPortSpin},
             {"U&ser:", "ProxyUserLabel", ProxyUserEdit},
             {"Pass&word:", "ProxyPasswordLabel", ProxyPasswordEdit}});
    connect(ProxyKindCombo, &QComboBox::currentIndexChanged, this,
            &TSettingsDialog::ShowProxyFields);
    page->addWidget(ProxyGroup);

    FetchGroup = Named(new QGroupBox(QStringLiteral("Fetching"), this), "FetchGroup");
    auto* fetch = new QFormLayout(FetchGroup);
    JobsSpin = CountSpin(FetchGroup, "JobsSpin");
    PerHostSpin = CountSpin(FetchGroup, "PerHostSpin");
    UserAgentEdit = Named(new QLineEdit(FetchGroup), "UserAgentEdit");
    UserAgentEdit->setPlaceholderText(QStringLiteral("the program's own"));
    AddRows(fetch, FetchGroup,
            {{"&Jobs (pages at once):", "JobsLabel", JobsSpin},
             {"Per h&ost (to one site at once):", "PerHostLabel", PerHostSpin},
             {"User-&Agent:", "UserAgentLabel", UserAgentEdit}});
    page->addWidget(FetchGroup);

    ProblemLabel = Named(new QLabel(this), "ProblemLabel");
    ProblemLabel->setTextFormat(Qt::PlainText);
    ProblemLabel->setWordWrap(true);
    QPalette warning = ProblemLabel->palette();
    warning.setColor(QPalette::WindowText, QColor(176, 0, 32));
    ProblemLabel->setPalette(warning);
    ProblemLabel->hide();
    page->addWidget(ProblemLabel);

    auto* buttons = Named(new QDialogButtonBox(this), "SettingsButtons");
    OkButton = Named(buttons->addButton(QDialogButtonBox::Ok), "OkButton");
    CancelButton = Named(buttons->addButton(QDialogButtonBox::Cancel), "CancelButton");
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &TSettingsDialog::OkClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    page->addWidget(buttons);
}

void TSettingsDialog::Load(const frontend::UserSettings& s) {
    ProfileCombo->clear();
    for (const std::string& name : services_.ProfileNames) {
        ProfileCombo->addItem(FromUtf8(name));
    }
    // A saved profile that is not offered (a file, or one since removed)
    // stays chosen rather than being lost.
    int at = ProfileCombo->findText(FromUtf8(s.Profile), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at < 0 && !s.Profile.empty()) {
        ProfileCombo->addItem(FromUtf8(s.Profile));
        at = ProfileCombo->count() - 1;
    }
    ProfileCombo->setCurrentIndex(at);
    SearxngEdit->setText(FromUtf8(s.SearxngUrl));
    ProxyKindCombo->setCurrentIndex(static_cast<int>(s.Proxy));
    ProxyHostEdit->setText(FromUtf8(s.ProxyHost));
    ProxyPortSpin->setValue(s.ProxyPort);
    ProxyUserEdit->setText(FromUtf8(s.ProxyUser));
    ProxyPasswordEdit->setText(FromUtf8(s.ProxyPassword));
    JobsSpin->setValue(s.Jobs);
    PerHostSpin->setValue(s.PerHost);
    UserAgentEdit->setText(FromUtf8(s.UserAgent));
    ShowProxyFields();
}

frontend::UserSettings TSettingsDialog::Edited() const {
    frontend::UserSettings s;
    s.Profile = Utf8(ProfileCombo->currentText().trimmed());
    s.SearxngUrl = Trimmed(SearxngEdit);
    s.Proxy = static_cast<ProxyKind>(std::max(ProxyKindCombo->currentIndex(), 0));
    s.ProxyHost = Trimmed(ProxyHostEdit);
    s.ProxyPort = ProxyPortSpin->value();
    s.ProxyUser = Trimmed(ProxyUserEdit);
    s.ProxyPassword = Utf8(ProxyPasswordEdit->text());
    s.Jobs = JobsSpin->value();
    s.PerHost = PerHostSpin->value();
    s.UserAgent = Trimmed(UserAgentEdit);
    return s;
}

void TSettingsDialog::ShowProxyFields() {
    const auto kind = static_cast<ProxyKind>(std::max(ProxyKindCombo->currentIndex(), 0));
    const bool any = kind != ProxyKind::None;
    ProxyHostEdit->setEnabled(any);
    ProxyPortSpin->setEnabled(any);
    ProxyUserEdit->setEnabled(any);
    // SOCKS 4 and 4A send a user ID and no password.
    ProxyPasswordEdit->setEnabled(kind == ProxyKind::Http || kind == ProxyKind::Socks5);
}

QWidget* TSettingsDialog::FieldOf(UserSetting setting) const {
    switch (setting) {
        case UserSetting::Profile:
            return ProfileCombo;
        case UserSetting::SearxngUrl:
            return SearxngEdit;
        case UserSetting::ProxyHost:
            return ProxyHostEdit;
        case UserSetting::ProxyPort:
            return ProxyPortSpin;
        case UserSetting::ProxyUser:
            return ProxyUserEdit;
        case UserSetting::ProxyPassword:
            return ProxyPasswordEdit;
        case UserSetting::Jobs:
            return JobsSpin;
        case UserSetting::PerHost:
            return PerHostSpin;
        case UserSetting::UserAgent:
            return UserAgentEdit;
    }
    return nullptr;
}

void TSettingsDialog::ShowProblem(const QString& text, QWidget* field) {
    ProblemLabel->setText(text);
    ProblemLabel->show();
    if (field != nullptr) {
        field->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(field)) {
            edit->selectAll();
        } else if (auto* spin = qobject_cast<QSpinBox*>(field)) {
            spin->selectAll();
        }
    }
}

void TSettingsDialog::OkClick() {
    const frontend::UserSettings edited = Edited();
    if (const auto problem = frontend::CheckUserSettings(edited)) {
        ShowProblem(FromUtf8(problem->Message), FieldOf(problem->Setting));
        return;
    }
    try {
        frontend::SaveUserSettings(edited, services_.Folder);
    } catch (const frontend::UserSettingsError& e) {
        ShowProblem(QString::fromUtf8(e.what()), nullptr);
        return;
    }
    saved_ = edited;
    ProblemLabel->hide();
    accept();
}

void TSettingsDialog::done(int result) {
    CancelUpdate();
    QDialog::done(result);
}

void TSettingsDialog::CancelUpdate() {
    if (progress_ != nullptr) {
        progress_->cancelled_.store(true);
        progress_->cancel_.Cancel();
    }
}

void TSettingsDialog::ShowListStatus() {
    if (services_.ListStatus) {
        ListStatusLabel->setText(Lines(services_.ListStatus()));
    } else {
        ListStatusLabel->setText(QStringLiteral("The state of the rank lists is not known here."));
    }
    UpdateListsButton->setEnabled(services_.UpdateLists != nullptr && !UpdateRunning());
}

void TSettingsDialog::UpdateListsClick() {
    if (UpdateRunning() || !services_.UpdateLists) {
        return;  // one update at a time
    }
    progress_.reset(new ListUpdateProgress(*this));
    UpdateListsButton->setEnabled(false);
    ListProgress->setRange(0, 0);  // busy until the first report says more
    ListProgressLabel->setText(QStringLiteral("Updating the lists..."));
    ListUpdateProgress* progress = progress_.get();
    worker_ = std::thread([this, progress, update = services_.UpdateLists] {
        std::vector<std::string> lines;
        std::string failure;
        try {
            lines = update(*progress);
        } catch (const std::exception& e) {
            failure = e.what();
            if (failure.empty()) {
                failure = "the update failed";
            }
        }
        {
            const std::lock_guard<std::mutex> lock(progress->mutex_);
            progress->lines_ = std::move(lines);
            progress->failure_ = std::move(failure);
        }
        emit ListUpdateEnded();
    });
}

void TSettingsDialog::ShowListProgress() {
    if (progress_ == nullptr) {
        return;  // a report that arrived after the end
    }
    std::string what;
    std::int64_t received = 0;
    std::int64_t total = -1;
    {
        const std::lock_guard<std::mutex> lock(progress_->mutex_);
        what = progress_->what_;
        received = progress_->received_;
        total = progress_->total_;
        progress_->signalled_ = false;
    }
    if (total > 0) {
        const std::int64_t step = std::min(received, total) * kProgressSteps / total;
        ListProgress->setRange(0, kProgressSteps);
        ListProgress->setValue(static_cast<int>(step));
        ListProgressLabel->setText(
            QStringLiteral("%1: %2 of %3").arg(FromUtf8(what), Bytes(received), Bytes(total)));
    } else {
        ListProgress->setRange(0, 0);
        ListProgressLabel->setText(QStringLiteral("%1: %2").arg(FromUtf8(what), Bytes(received)));
    }
}

void TSettingsDialog::FinishListUpdate() {
    if (worker_.joinable()) {
        worker_.join();  // it has sent its last signal and is returning
    }
    if (progress_ == nullptr) {
        return;
    }
    std::vector<std::string> lines;
    std::string failure;
    const bool cancelled = progress_->Cancelled();
    {
        const std::lock_guard<std::mutex> lock(progress_->mutex_);
        lines = std::move(progress_->lines_);
        failure = std::move(progress_->failure_);
    }
    progress_.reset();
    ListProgress->setRange(0, kProgressSteps);
    ListProgress->setValue(failure.empty() && !cancelled ? kProgressSteps : 0);
    if (cancelled) {
        ListProgressLabel->setText(QStringLiteral("The update was cancelled."));
    } else if (!failure.empty()) {
        ListProgressLabel->setText(QStringLiteral("The update failed: ") + FromUtf8(failure));
    } else {
        ListProgressLabel->setText(Lines(lines));
    }
    ShowListStatus();
}

}  // namespace corvane::ui
