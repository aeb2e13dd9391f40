#include "ui/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTreeView>

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>
#include <iterator>
#include <numeric>
#include <system_error>

#include "engine/ordering.h"
#include "engine/survey_file.h"
#include "history/sqlite_db.h"
#include "platform/atomic_file.h"
#include "platform/profile_reader.h"
#include "platform/user_paths.h"
#include "platform/user_store.h"
#include "search/profile_catalog.h"
#include "ui/fonts.h"
#include "ui/help_window.h"
#include "ui/info_form.h"
#include "ui/main_pictures.h"
#include "ui/picture_button.h"
#include "ui/pictures.h"
#include "ui/product_info.h"
#include "ui/rank_chart.h"
#include "ui/results_delegate.h"
#include "ui/results_model.h"
#include "ui/settings_dialog.h"
#include "ui/shell_open.h"
#include "ui/start_form.h"
#include "ui/survey_window_host.h"
#include "ui/window_parallel_run.h"
#include "ui/window_web_run.h"

namespace corvane::ui {

const int TForm1::kColumnWidths[engine::kColumnCount] = {115, 55, 90, 90, 90, 100};
const int TForm1::kColumnMinimumWidths[engine::kColumnCount] = {75, 50, 90, 90, 90, 100};

namespace {

// Tells whether the table was cleared while it watched. A run clears the
// table once its results page is in; one that failed before that has left
// the previous survey's rows in the table.
class ClearWatch final : public engine::TableObserver {
  public:
    explicit ClearWatch(engine::ResultsTable& table) : table_(table) { table_.AddObserver(this); }
    ~ClearWatch() override { table_.RemoveObserver(this); }
    ClearWatch(const ClearWatch&) = delete;
    ClearWatch& operator=(const ClearWatch&) = delete;

    void TableCleared() override { cleared_ = true; }
    bool Cleared() const { return cleared_; }

  private:
    engine::ResultsTable& table_;
    bool cleared_ = false;
};

constexpr auto kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;

// Places in the client area: the banner across the top, the list below it,
// the status line at the bottom; margins to the client area's edges.
constexpr int kBannerLeft = 7;
constexpr int kBannerRight = 5;
constexpr int kBannerHeight = 55;
constexpr int kListLeft = 5;
constexpr int kListRight = 7;
constexpr int kListTop = 68;

// The banner picture at `width`: the picture at its own size, continued to
// the right by its last column of pixels.
QPixmap WideBanner(const QPixmap& banner, int width) {
    if (banner.isNull() || width <= banner.width()) {
        return banner.scaled(width, kBannerHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    QPixmap wide(width, kBannerHeight);
    QPainter p(&wide);
    p.drawPixmap(QRect(0, 0, banner.width(), kBannerHeight), banner);
    p.drawPixmap(QRect(banner.width(), 0, width - banner.width(), kBannerHeight), banner,
                 QRect(banner.width() - 1, 0, 1, banner.height()));
    return wide;
}

const QString kSurveyFilter = QStringLiteral("Corvane files (*.cvn)");

// The search profiles the Settings window offers.
// The classic survey first (the default), then every other profile, the
// user's own included, by name.
std::vector<std::string> SearchProfileNames() {
    std::vector<std::string> names{history::kClassicProfile};
    for (const search::ProfileEntry& entry : search::ListProfiles()) {
        if (entry.Name != history::kClassicProfile) {
            names.push_back(entry.Name);
        }
    }
    return names;
}

// The captions of a recorded survey's table: those of today's web for any
// profile but the classic one.
const char* const* CaptionsOf(const std::string& profile) {
    return profile.empty() || profile == history::kClassicProfile ? engine::kColumnCaptions
                                                                  : search::kWebColumnCaptions;
}

// Where the folder of the last survey file chosen is remembered.
constexpr const char* kFilesKey = "\\Software\\Vestrel\\Brindlemark\\Files";
constexpr const char* kFolderValue = "folder";

std::string LocalFileName(const QString& file) {
    return QFile::encodeName(file).toStdString();
}

// Gives a menu or a menu item its form name as object name.
template <typename T>
T* Named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

// Menu items shown bold: the default item of their menu.
void MakeDefault(QMenu* menu, QAction* action) {
    QFont bold = action->font();
    bold.setBold(true);
    action->setFont(bold);
    menu->setDefaultAction(action);
}

// The busy pointer over every window for as long as it lives; restoring
// goes back to whatever pointer was in force before.
class BusyCursor {
  public:
    BusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Calls a function when it goes, also on the way out of an exception.
template <typename F>
class OnExit {
  public:
    explicit OnExit(F f) : f_(std::move(f)) {}
    ~OnExit() { f_(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

  private:
    F f_;
};

}  // namespace

TForm1::TForm1(PageFetch fetch, engine::ServiceEndpoints endpoints, QWidget* parent)
    : QMainWindow(parent, kWindowFlags),
      fetch_(std::move(fetch)),
      endpoints_(std::move(endpoints)),
      requests_([this](const Request& r) { Perform(r); }, [this] { GiveUpRun(); }) {
    setWindowTitle(kProductName);
    setFont(DesignFont(kSansSerifFace, 8));
    model_ = new ResultsModel(table_, this);
    escape_ = new EscapeKeyState(this);
    ImageList1 = MenuPictures();
    BuildControls();
    BuildMenus();
    // The window opens at the size that shows every column in full; it may
    // be enlarged and maximised, and the list grows with it.
    const QSize opening(openingClient_.width(),
                        openingClient_.height() + MainMenu1->sizeHint().height());
    setMinimumSize(opening);
    resize(opening);
    FormCreate();
}

TForm1::~TForm1() {
    // The model observes table_, which goes before the window's children.
    ListView1->setModel(nullptr);
    delete model_;
    model_ = nullptr;
}

void TForm1::BuildControls() {
    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(Client);

    Image1 = new QLabel(Client);
    Image1->setObjectName(QStringLiteral("Image1"));
    banner_ = BannerPicture();

    auto makeButton = [this](const QString& caption, const QPixmap& picture, int left) {
        auto* button = new TPictureButton(Client);
        button->setGeometry(left, 10, 65, 45);
        button->setText(caption);
        button->SetPicture(QIcon(picture), QSize(kButtonPictureSize, kButtonPictureSize));
        button->SetSpacing(5);
        button->setCursor(Qt::PointingHandCursor);
        button->setAutoDefault(false);
        // Light faces with dark captions, whatever the desktop's colours:
        // they sit on the dark banner.
        QPalette light = button->palette();
        light.setColor(QPalette::Button, QColor(244, 247, 250));
        light.setColor(QPalette::ButtonText, QColor(16, 38, 61));
        light.setColor(QPalette::Disabled, QPalette::Button, QColor(214, 222, 230));
        light.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(105, 118, 132));
        button->setPalette(light);
        return button;
    };
    BitBtn2 = makeButton(QStringLiteral("Start"), StartPicture(), 262);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    StopBtn = makeButton(QStringLiteral("Stop"), StopPicture(), 338);
    StopBtn->setObjectName(QStringLiteral("StopBtn"));
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(StopBtn, &QPushButton::clicked, this, &TForm1::StopBtnClick);

    ListView1 = new QTreeView(Client);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setModel(model_);
    ListView1->setItemDelegate(new CutTextTipDelegate(ListView1));
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setExpandsOnDoubleClick(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several rows may be selected to compare their rank histories.
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    ListView1->setTextElideMode(Qt::ElideRight);
    ListView1->setCursor(Qt::PointingHandCursor);
    ListView1->viewport()->setCursor(Qt::PointingHandCursor);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->viewport()->installEventFilter(this);

    QHeaderView* header = ListView1->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    // The last column takes whatever room the window gives beyond the others.
    header->setStretchLastSection(true);
    // The ordered column shows its direction; none until a header is clicked.
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(
        *std::min_element(std::begin(kColumnMinimumWidths), std::end(kColumnMinimumWidths)));
    const std::array<int, engine::kColumnCount> widths = OpeningColumnWidths();
    for (int c = 0; c < engine::kColumnCount; ++c) {
        header->resizeSection(c, widths[static_cast<std::size_t>(c)]);
    }
    // Each column can be dragged narrower only down to its own minimum.
    connect(header, &QHeaderView::sectionResized, this, [header](int section, int, int newSize) {
        if (section >= 0 && section < engine::kColumnCount &&
            newSize < kColumnMinimumWidths[section]) {
            header->resizeSection(section, kColumnMinimumWidths[section]);
        }
    });
    connect(header, &QHeaderView::sectionClicked, this, &TForm1::ListView1ColumnClick);
    // A new survey or a file fills the table in an order of its own.
    connect(model_, &QAbstractItemModel::modelReset, this,
            [header] { header->setSortIndicator(-1, Qt::AscendingOrder); });

    StatusBar1 = new QStatusBar(Client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    RowCount = new QLabel(StatusBar1);
    RowCount->setObjectName(QStringLiteral("RowCount"));
    StatusBar1->addPermanentWidget(RowCount);
    ShowRowCount();
    // Rows a run appends are a survey not yet saved; the count follows the
    // table.
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
        unsaved_ = true;
        recorded_ = false;
        ShowRowCount();
    });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { ShowRowCount(); });
    connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] { ShowRowCount(); });
    ShowRunState();

    // At the opening size every column shows in full, with room for the
    // list's frame and its vertical scroll bar.
    const int listWidth = std::accumulate(widths.begin(), widths.end(), 0) +
                          2 * ListView1->frameWidth() +
                          ListView1->verticalScrollBar()->sizeHint().width();
    Client->installEventFilter(this);  // lays the controls out on every resize
    openingClient_ =
        QSize(std::max(kClientWidth, listWidth + kListLeft + kListRight), kClientHeight);
}

std::array<int, engine::kColumnCount> TForm1::OpeningColumnWidths() const {
    // What a cell needs for the widest figure, as the item delegate measures
    // text: the text and a margin at either side.
    const int textMargin =
        ListView1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListView1) + 1;
    const int figure =
        ListView1->fontMetrics().horizontalAdvance(QStringLiteral("999999999")) + 2 * textMargin;
    std::array<int, engine::kColumnCount> widths{};
    for (int c = 0; c < engine::kColumnCount; ++c) {
        int w = std::max(kColumnWidths[c], ListView1->header()->sectionSizeHint(c));
        if (c > 0) {
            w = std::max(w, figure);
        }
        widths[static_cast<std::size_t>(c)] = w;
    }
    return widths;
}

void TForm1::LayOutClient() {
    const int w = Client->width();
    const int h = Client->height();
    const int bannerWidth = std::max(w - kBannerLeft - kBannerRight, 1);
    Image1->setGeometry(kBannerLeft, 4, bannerWidth, kBannerHeight);
    if (Image1->pixmap().width() != bannerWidth) {
        Image1->setPixmap(WideBanner(banner_, bannerWidth));
    }
    const int statusHeight = 19;
    StatusBar1->setGeometry(0, h - statusHeight, w, statusHeight);
    ListView1->setGeometry(kListLeft, kListTop, std::max(w - kListLeft - kListRight, 1),
                           std::max(h - kListTop - statusHeight - 4, 1));
}

void TForm1::BuildMenus() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    File1 = Named(MainMenu1->addMenu(QStringLiteral("&File")), "File1");
    Open1 =
        Named(File1->addAction(ImageList1[kOpenPicture], QStringLiteral("&Open file...")), "Open1");
    Save1 =
        Named(File1->addAction(ImageList1[kSavePicture], QStringLiteral("&Save file...")), "Save1");
    HistoryItem = Named(File1->addAction(QStringLiteral("&History...")), "HistoryItem");
    SettingsItem = Named(File1->addAction(QStringLiteral("Se&ttings...")), "SettingsItem");
    File1->addSeparator();
    Exit1 = Named(File1->addAction(ImageList1[kExitPicture], QStringLiteral("E&xit")), "Exit1");

    Website1 = Named(MainMenu1->addMenu(QStringLiteral("Website")), "Website1");
    Visittheselectedwebsite1 =
        Named(Website1->addAction(QStringLiteral("Visit the selected website...")),
              "Visittheselectedwebsite1");
    MakeDefault(Website1, Visittheselectedwebsite1);

    Help1 = Named(MainMenu1->addMenu(QStringLiteral("&Help")), "Help1");
    Contents1 = Named(Help1->addAction(ImageList1[kContentsPicture], QStringLiteral("&Contents")),
                      "Contents1");
    Contents1->setShortcut(QKeySequence(Qt::Key_F1));
    Contents1->setShortcutContext(Qt::WindowShortcut);
    TheCorvaneHomepage1 = Named(
        Help1->addAction(ImageList1[kHomepagePicture], QStringLiteral("The Corvane Homepage...")),
        "TheCorvaneHomepage1");
    Help1->addSeparator();
    About1 =
        Named(Help1->addAction(ImageList1[kAboutPicture], QStringLiteral("&About...")), "About1");

    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    Visitwebsite1 =
        Named(PopupMenu1->addAction(QStringLiteral("Visit website...")), "Visitwebsite1");
    MakeDefault(PopupMenu1, Visitwebsite1);
    RankHistory1 = Named(PopupMenu1->addAction(QStringLiteral("Rank history...")), "RankHistory1");

    connect(Open1, &QAction::triggered, this, &TForm1::Open1Click);
    connect(Save1, &QAction::triggered, this, &TForm1::Save1Click);
    connect(HistoryItem, &QAction::triggered, this, &TForm1::HistoryItemClick);
    connect(SettingsItem, &QAction::triggered, this, &TForm1::SettingsItemClick);
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(Visittheselectedwebsite1, &QAction::triggered, this,
            &TForm1::Visittheselectedwebsite1Click);
    connect(Contents1, &QAction::triggered, this, &TForm1::Contents1Click);
    connect(TheCorvaneHomepage1, &QAction::triggered, this, &TForm1::TheCorvaneHomepage1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(Visitwebsite1, &QAction::triggered, this, &TForm1::Visitwebsite1Click);
    connect(RankHistory1, &QAction::triggered, this, &TForm1::RankHistory1Click);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        RankHistory1->setEnabled(shown_.has_value() && !history_.File.empty());
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at));
    });
}

void TForm1::FormCreate() {
    ProgramFolder = QString::fromStdString(platform::ProgramFolder());
    surveyFolder_ = RememberedSurveyFolder();
    for (FileDialogRequest* d : {&OpenDialog1, &SaveDialog1}) {
        d->Parent = this;
        d->InitialDir = surveyFolder_;
        d->Filter = kSurveyFilter;
        d->DefaultSuffix = QString::fromLatin1(engine::kSurveyFileExtension);
    }
    OpenDialog1.Kind = FileDialogKind::Open;
    SaveDialog1.Kind = FileDialogKind::Save;
}

QString TForm1::RememberedSurveyFolder() {
    try {
        platform::UserStore store;
        if (store.OpenKey(kFilesKey, false) && store.ValueExists(kFolderValue)) {
            const QString folder = QString::fromUtf8(store.ReadString(kFolderValue));
            if (QFileInfo(folder).isDir()) {
                return folder;
            }
        }
    } catch (const platform::UserStoreError&) {
        // A store that cannot be read remembers nothing.
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QString TForm1::AskSurveyFile(FileDialogRequest& request) {
    request.InitialDir = surveyFolder_;
    const QString file = AskFileName(request);
    if (file.isEmpty()) {
        return file;
    }
    // The next prompt starts where this one ended, in this run and the next.
    surveyFolder_ = QFileInfo(file).absolutePath();
    try {
        platform::UserStore store;
        store.OpenKey(kFilesKey, true);
        store.WriteString(kFolderValue, surveyFolder_.toUtf8().toStdString());
    } catch (const platform::UserStoreError&) {
        // Not remembered beyond this run; the prompt works all the same.
    }
    return file;
}

void TForm1::CentreOnScreen() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

QString TForm1::StatusText() const {
    return StatusBar1->currentMessage();
}

void TForm1::ShowStatusText(const QString& text) {
    StatusBar1->showMessage(text);
}

void TForm1::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TForm1::StopBtnClick() {
    engine::StopFlag = true;
    // A run on the scheduler ends here, not after its current row.
    if (activeRun_ != nullptr) {
        activeRun_->Stop();
    }
    ProcessMessages();
}

void TForm1::PressStop() {
    try {
        StopBtnClick();
    } catch (const std::exception&) {
        // A command presses Stop before its own action and performs that
        // action even when something run by the pending events failed.
    }
}

void TForm1::BitBtn2Click() {
    if (!ConfirmDiscard(Replacing)) {
        return;
    }
    PressStop();
    if (!locate_) {
        return;
    }
    locate_->ShowModal();
    ProcessMessages();
    // Cancel and the dialog's close box leave the flag set.
    if (engine::StopFlag) {
        return;
    }
    SurveyRequest survey;
    const bool keyword = locate_->IsKeywordMode();
    survey.Text = keyword ? locate_->KeywordText() : locate_->DomainText();
    // Nothing to search for: the table stays, and the status line says why.
    if (QString::fromUtf8(survey.Text).trimmed().isEmpty()) {
        ShowStatusText(keyword ? QStringLiteral("No keyword to search for: enter a keyword or "
                                                "phrase after pressing Start.")
                               : QStringLiteral("No domain to search for: enter a target URL "
                                                "after pressing Start."));
        return;
    }
    survey.ResultCount = locate_->MaxResultsValue();
    survey.Skip = locate_->SkipValue();
    survey.Mode = keyword ? engine::SurveyMode::Keyword : engine::SurveyMode::Domain;
    requests_.Submit(std::move(survey));
}

void TForm1::Open1Click() {
    if (!ConfirmDiscard(Replacing)) {
        return;
    }
    PressStop();
    const QString file = AskSurveyFile(OpenDialog1);
    if (!file.isEmpty()) {
        requests_.Submit(OpenRequest{file});
    }
}

void TForm1::HistoryItemClick() {
    if (historyWindow_ == nullptr) {
        historyWindow_ = new THistoryWindow(this);
        connect(historyWindow_, &THistoryWindow::OpenRequested, this, &TForm1::OpenRecorded);
        connect(historyWindow_, &THistoryWindow::ChartRequested, this, [this](qint64 id) {
            QString problem;
            if (!OpenLeadersChart(this, history_.File, id, 5, problem)) {
                historyWindow_->ShowOpened(QStringLiteral("No rank chart: ") + problem);
            }
        });
    }
    historyWindow_->SetFile(history_.File);
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void TForm1::SettingsItemClick() {
    SettingsDialogServices services;
    services.ProfileNames = SearchProfileNames();
    services.ListStatus = settingsHooks_.ListStatus;
    services.UpdateLists = settingsHooks_.UpdateLists;
    TSettingsDialog dialog(frontend::LoadUserSettings(), std::move(services), this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    if (!settingsHooks_.Saved) {
        ShowStatusText(QStringLiteral("Settings saved; they apply from the next start."));
        return;
    }
    const std::string note = settingsHooks_.Saved(dialog.Saved());
    ShowStatusText(note.empty() ? QStringLiteral("Settings saved.")
                                : QStringLiteral("Settings saved. ") + QString::fromUtf8(note));
}

void TForm1::SetSurveySettings(const frontend::FrontEndSettings& settings) {
    limits_ = frontend::SchedulerLimits{settings.Jobs, settings.PerHost};
    profile_ = settings.Profile;
    searxngUrl_ = settings.SearxngUrl;
}

void TForm1::OpenRecorded(std::int64_t id) {
    if (!ConfirmDiscard(Replacing)) {
        return;
    }
    PressStop();
    requests_.Submit(RecordedRequest{id});
}

void TForm1::OpenRecordedSurvey(std::int64_t id) {
    // Read whole before the table is touched, like a file.
    std::optional<history::Survey> survey;
    QString problem;
    try {
        history::HistoryStore store(history_.File);
        survey = store.Find(id);
    } catch (const history::HistoryError& e) {
        problem = QString::fromUtf8(e.what());
    } catch (const history::SqliteError& e) {
        problem = QString::fromUtf8(e.what());
    }
    if (!survey) {
        ShowStatusText(QStringLiteral("Could not open survey %1 of the history: %2")
                           .arg(id)
                           .arg(problem.isEmpty() ? QStringLiteral("it is no longer there")
                                                  : problem.simplified()));
        return;
    }
    history::FillTable(table_, survey->Rows);
    model_->SetCaptions(CaptionsOf(survey->Info.Profile));
    unsaved_ = false;  // the table is what the history holds
    shown_ = survey->Info;
    model_->SetRankMarks(MarksAgainstPrevious(history_.File, id));
    const QString caption = SurveyCaption(survey->Info);
    ShowStatusText(caption);
    if (historyWindow_ != nullptr) {
        historyWindow_->ShowOpened(caption);
    }
}

void TForm1::RankHistory1Click() {
    if (!shown_ || history_.File.empty()) {
        return;
    }
    std::vector<std::string> hosts;
    for (const QModelIndex& at : ListView1->selectionModel()->selectedRows(0)) {
        if (static_cast<std::size_t>(at.row()) < table_.Count()) {
            hosts.push_back(table_.Row(static_cast<std::size_t>(at.row())).Caption);
        }
    }
    QString problem;
    if (!OpenRankChart(this, history_.File, *shown_, hosts, problem)) {
        ShowStatusText(QStringLiteral("No rank history: ") + problem);
    }
}

void TForm1::Save1Click() {
    PressStop();
    SaveTable();
}

bool TForm1::SaveTable() {
    const QString file = AskSurveyFile(SaveDialog1);
    if (file.isEmpty()) {
        return false;
    }
    try {
        engine::SaveSurvey(table_, LocalFileName(file));
    } catch (const platform::AtomicFileError& e) {
        // The table stays as it is; the old file, if any, too.
        ShowStatusText(
            QStringLiteral("Could not save %1: %2")
                .arg(QDir::toNativeSeparators(file), QString::fromLocal8Bit(e.code().message())));
        return false;
    }
    unsaved_ = false;
    return true;
}

bool TForm1::ConfirmDiscard(DiscardMoment moment) {
    // A table the history holds is not lost either.
    if (!unsaved_ || recorded_ || table_.Count() == 0) {
        return true;
    }
    QMessageBox question(QMessageBox::Question, kProductName,
                         QStringLiteral("The table of the last survey has not been saved."),
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    question.setObjectName(QStringLiteral("UnsavedTableQuestion"));
    question.setInformativeText(moment == Closing
                                    ? QStringLiteral("Save it before the window closes?")
                                    : QStringLiteral("Save it before it is replaced?"));
    question.setDefaultButton(QMessageBox::Save);
    question.setEscapeButton(QMessageBox::Cancel);
    switch (question.exec()) {
        case QMessageBox::Save:
            return SaveTable();
        case QMessageBox::Discard:
            return true;
        default:
            return false;
    }
}

void TForm1::Exit1Click() {
    PressStop();
    close();
}

void TForm1::Visitwebsite1Click() {
    if (table_.Count() == 0) {
        return;
    }
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows(0);
    if (selected.isEmpty()) {
        return;
    }
    const std::string& host = table_.Row(static_cast<std::size_t>(selected.front().row())).Caption;
    if (host.empty()) {
        return;
    }
    // The address exactly as listed; the desktop decides what it means.
    OpenInDesktop(QStringLiteral("http://") + ResultsModel::ToQString(host));
}

void TForm1::Visittheselectedwebsite1Click() {
    Visitwebsite1Click();
}

void TForm1::ListView1DblClick() {
    Visitwebsite1Click();
}

void TForm1::Contents1Click() {
    // The installed pages go to the desktop's browser; without them, or
    // when the desktop cannot open them, the help window shows the pages
    // built into the program.
    const QString installed = FindInstalledHelp(ProgramFolder);
    if (installed.isEmpty()) {
        ShowHelpWindow();
        return;
    }
    const QPointer<TForm1> self(this);
    ShellOpen(installed, ShellShow::Maximized, [self](const QString&) {
        if (self) {
            self->ShowHelpWindow();
        }
    });
}

void TForm1::ShowHelpWindow() {
    if (help_ == nullptr) {
        help_ = new THelpWindow(this);
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void TForm1::TheCorvaneHomepage1Click() {
    OpenInDesktop(kHomepageUrl);
}

void TForm1::OpenInDesktop(const QString& target) {
    const QPointer<TForm1> self(this);
    ShellOpen(target, ShellShow::Maximized, [self, target](const QString& reason) {
        if (self) {
            self->ShowStatusText(QStringLiteral("Could not open %1: %2").arg(target, reason));
        }
    });
}

void TForm1::About1Click() {
    PressStop();
    if (about_) {
        about_->ShowModal();
    }
}

void TForm1::ListView1ColumnClick(int column) {
    engine::ListView1ColumnClick(table_, column);
    // Each column has its one direction: inbound links and link values
    // largest first, the others smallest (or A) first.
    const bool largestFirst = column == 2 || column == 4;
    ListView1->header()->setSortIndicator(column,
                                          largestFirst ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TForm1::FormCloseQuery(bool& canClose) {
    canClose = ConfirmDiscard(Closing);
    if (!canClose) {
        return;
    }
    PressStop();
    // Nothing waits to be done after the window has gone, and a run in
    // progress ends at once.
    requests_.DropPending();
    GiveUpRun();
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Client && event->type() == QEvent::Resize) {
        LayOutClient();
    }
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ListView1DblClick();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::GiveUpRun() {
    if (activeRun_ != nullptr) {
        activeRun_->Stop();
    }
    if (activeHost_ == nullptr || activeHost_->Abandoned()) {
        return;
    }
    // The run leaves at its next pump or fetch, before it writes again; what
    // it filled stays shown until the next survey's results arrive or a file
    // replaces it. (Should it write all the same, the table refuses writes to
    // rows it no longer has once those are replaced.)
    activeHost_->Abandon();
}

void TForm1::Perform(const Request& request) {
    if (const auto* open = std::get_if<OpenRequest>(&request)) {
        OpenFile(open->File);
    } else if (const auto* recorded = std::get_if<RecordedRequest>(&request)) {
        OpenRecordedSurvey(recorded->Id);
    } else {
        RunOne(std::get<SurveyRequest>(request));
    }
}

void TForm1::SetParallelFetch(frontend::FetchFunction fetch, frontend::SchedulerLimits limits) {
    parallelFetch_ = std::move(fetch);
    limits_ = limits;
}

bool TForm1::ParallelRoad() const {
    return parallelFetch_ && limits_.Jobs > 1;
}

void TForm1::RunOne(const SurveyRequest& s) {
    history::SurveyInfo record;
    record.Query = s.Text;
    record.Mode = s.Mode;
    record.ResultCount = s.ResultCount;
    record.Skip = s.Skip;
    record.StartedUtc = history::UtcTimestamp(std::chrono::system_clock::now());
    // A profile of today's web takes its own road; one that cannot be read
    // ends the command with a message and touches nothing but the history,
    // where the failure is kept under the profile asked for.
    std::optional<search::SearchProfile> web;
    if (webHooks_.Fetch && profile_ != history::kClassicProfile) {
        try {
            search::SearchProfile profile = search::LoadProfile(profile_);
            if (profile.Kind == search::ProfileKind::Web) {
                web = std::move(profile);
            }
        } catch (const search::ProfileError& e) {
            ShowStatusText(QStringLiteral("Could not survey: ") +
                           QString::fromUtf8(e.what()).simplified());
            record.Profile = profile_;
            record.End = history::SurveyEnd::Failed;
            RecordSurvey(std::move(record), false);
            return;
        }
    }
    QString done = QStringLiteral("Done!");
    std::optional<history::SurveyEnd> ran;
    const ClearWatch watch(table_);
    {
        const BusyCursor busy;
        if (web) {
            record.Profile = web->Name;
            ran = RunWeb(s, *web, done);
        } else {
            model_->SetCaptions(engine::kColumnCaptions);
            ran = ParallelRoad() ? RunParallel(s) : RunSerial(s);
        }
    }
    ShowStatusText(done);
    // A survey of today's web that could not give a table has failed.
    record.End = ran.value_or(history::SurveyEnd::Failed);
    if (!ran || !watch.Cleared()) {
        // The run failed (or was stopped) before its results page was in:
        // the table still shows the previous survey, whose rows are not
        // this one's. It is recorded with no rows, as the command line
        // records it.
        RecordSurvey(std::move(record), false);
        ProcessMessages();
        return;
    }
    shown_ = record;
    RecordSurvey(std::move(record), true);
    ProcessMessages();
}

std::function<void(std::size_t, std::size_t)> TForm1::SiteProgress() {
    return [this](std::size_t completed, std::size_t total) {
        if (total > 0) {
            ShowStatusText(QStringLiteral("%1 of %2 sites").arg(completed).arg(total));
        }
    };
}

QMetaObject::Connection TForm1::BeginRun(WindowRun& run) {
    activeRun_ = &run;
    ShowRunState();
    // Escape ends the run when it is pressed, as Stop does.
    return connect(escape_, &EscapeKeyState::Pressed, &run, &WindowRun::Stop);
}

void TForm1::EndRun(const QMetaObject::Connection& escape) {
    disconnect(escape);
    activeRun_ = nullptr;
    ShowRunState();
}

history::SurveyEnd TForm1::RunParallel(const SurveyRequest& s) {
    ShowStatusText(ResultsModel::ToQString(s.Text));
    WindowParallelRun run(table_, endpoints_, limits_, parallelFetch_, SiteProgress());
    const QMetaObject::Connection escape = BeginRun(run);
    const OnExit ended([this, escape] { EndRun(escape); });
    try {
        run.Run(s.Text, s.ResultCount, s.Skip, s.Mode);
    } catch (const std::exception&) {
        // Absorbed as on the serial road: the rows the run filled stay.
        return history::SurveyEnd::Failed;
    }
    return run.Stopped() ? history::SurveyEnd::Stopped : history::SurveyEnd::Done;
}

std::optional<history::SurveyEnd> TForm1::RunWeb(const SurveyRequest& s,
                                                 const search::SearchProfile& profile,
                                                 QString& done) {
    ShowStatusText(ResultsModel::ToQString(s.Text));
    const auto couldNot = [&done](const std::string& why) {
        done = QStringLiteral("Could not survey: ") + QString::fromUtf8(why.c_str()).simplified();
        return std::optional<history::SurveyEnd>();
    };
    lists::RankLists lists;
    try {
        if (webHooks_.Lists) {
            lists = webHooks_.Lists();
        }
    } catch (const lists::ListError& e) {
        return couldNot(e.what());
    }
    const std::string base = webHooks_.Base ? webHooks_.Base(profile) : std::string();
    WindowWebRun run(table_, profile, lists, base, limits_, webHooks_.Fetch, SiteProgress());
    const QMetaObject::Connection escape = BeginRun(run);
    const OnExit ended([this, escape] { EndRun(escape); });
    // The captions follow the rows: a failed run leaves the previous table
    // under its own captions.
    const char* const* previous = model_->Captions();
    model_->SetCaptions(search::kWebColumnCaptions);
    try {
        run.Run(s.Text, s.ResultCount, s.Skip, s.Mode);
    } catch (const search::ProfileError& e) {
        model_->SetCaptions(previous);
        return couldNot(e.what());
    }
    if (!run.FailureMessage().empty()) {
        model_->SetCaptions(previous);
        return couldNot(run.FailureMessage());
    }
    for (const std::string& note : run.Notes()) {
        done += QStringLiteral(" ") + QString::fromUtf8(note.c_str()).simplified();
        if (!done.endsWith(QLatin1Char('.'))) {
            done += QLatin1Char('.');
        }
    }
    return run.Stopped() ? history::SurveyEnd::Stopped : history::SurveyEnd::Done;
}

history::SurveyEnd TForm1::RunSerial(const SurveyRequest& s) {
    history::SurveyEnd end = history::SurveyEnd::Done;
    {
        WindowSurveyHost host(
            [this](const std::string& text) { ShowStatusText(ResultsModel::ToQString(text)); },
            [] { ProcessMessages(); }, [this] { return escape_->IsDown(); }, fetch_, table_,
            endpoints_);
        activeHost_ = &host;
        ShowRunState();
        const OnExit ended([this] {
            activeHost_ = nullptr;
            ShowRunState();
        });
        try {
            engine::RunSurvey(host, s.Text, s.ResultCount, s.Skip, s.Mode);
            end = engine::StopFlag ? history::SurveyEnd::Stopped : history::SurveyEnd::Done;
        } catch (const engine::RunAbandoned&) {
            // The window gave the run up; it has left without another fetch.
            end = history::SurveyEnd::Stopped;
        } catch (const std::exception&) {
            // Start absorbs a run that fails (a results page that cannot be
            // fetched, a figure that is not a number): the rows it filled
            // stay, and the run ends like any other.
            end = history::SurveyEnd::Failed;
        }
    }
    return end;
}

void TForm1::RecordSurvey(history::SurveyInfo info, bool tableIsTheSurveys) {
    if (!history_.Record || history_.File.empty()) {
        return;
    }
    info.EndedUtc = history::UtcTimestamp(std::chrono::system_clock::now());
    QString problem;
    QString notice;
    const engine::ResultsTable none;
    const std::optional<std::int64_t> id =
        RecordInHistory(history_.File, info, tableIsTheSurveys ? table_ : none, problem, notice);
    if (!id) {
        // The table stays as the run left it, still to be saved by hand.
        ShowStatusText(QStringLiteral("Done! The survey was not recorded in the history: ") +
                       problem);
        return;
    }
    if (historyWindow_ != nullptr && historyWindow_->isVisible()) {
        historyWindow_->Refresh();
    }
    if (!notice.isEmpty()) {
        ShowStatusText(QStringLiteral("Done! ") + notice);
    }
    if (!tableIsTheSurveys) {
        return;
    }
    recorded_ = true;
    model_->SetRankMarks(MarksAgainstPrevious(history_.File, *id));
}

void TForm1::OpenFile(const QString& file) {
    // The file is read whole before the table is touched: one that cannot
    // be read leaves the table as it was and says why.
    platform::ProfileFile profile;
    std::error_code error;
    if (!profile.Load(LocalFileName(file), &error)) {
        ShowStatusText(
            QStringLiteral("Could not open %1: %2")
                .arg(QDir::toNativeSeparators(file), QString::fromLocal8Bit(error.message())));
        return;
    }
    engine::ReadSurvey(table_, profile);
    model_->SetCaptions(engine::kColumnCaptions);
    unsaved_ = false;  // the table is what the file holds
    shown_.reset();
}

void TForm1::ShowRunState() {
    const bool running = RunInProgress();
    BitBtn2->setEnabled(!running);
    StopBtn->setEnabled(running);
}

void TForm1::ShowRowCount() {
    const std::size_t n = table_.Count();
    RowCount->setText(n == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(n));
}

}  // namespace corvane::ui
