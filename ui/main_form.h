// The main window, "Corvane": the banner with the Start and Stop buttons,
// the results list, the status line, and the File, Website and Help menus.
// Its commands run a survey through the Locate dialog, stop it, open and
// save survey files, edit the saved settings in the Settings window, open a listed site in the
// browser, show the help (the installed pages in the desktop's browser, else a help window of its
// own) and open the homepage, and show the About box. It is the SurveyHost of every run it starts.
//
// Every command can arrive while a run waits in its event pump (a run on
// the fetch scheduler waits in a local event loop). Stop, column clicks,
// Save, Visit, Help and About act at once; on the scheduler, Stop, Escape
// and the close box end the run at once, keeping its complete rows. The Start button
// is off during a run, but a file chosen to open (or a Start command
// confirmed) while a run is in progress is not performed inside that run:
// the window gives that run up (it leaves at its next pump or fetch,
// writing nothing more; its rows stay shown until replaced) and performs
// the new request once the older run has returned (RequestQueue).
// Closing the window gives a run up the same way, so the program ends at
// once.
//
// The controls keep their form names (ListView1, StatusBar1, BitBtn2,
// Open1, ...) as their Qt object names; they are the window's own, and
// whoever needs one from outside finds it by that name.
#pragma once

#include <QMainWindow>
#include <QPixmap>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_host.h"
#include "engine/survey_run.h"
#include "frontend/fetch_scheduler.h"
#include "history/history_store.h"
#include "lists/rank_lists.h"
#include "search/search_profile.h"
#include "ui/file_dialogs.h"
#include "ui/history_window.h"
#include "ui/request_queue.h"
#include "ui/settings_dialog.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTreeView;

namespace corvane::ui {

class EscapeKeyState;
class ResultsModel;
class THelpWindow;
class THistoryWindow;
class TInfoForm;
class TPictureButton;
class TStartForm;
class WindowParallelRun;
class WindowRun;
class WindowSurveyHost;

class TForm1 : public QMainWindow {
    Q_OBJECT
  public:
    // The page fetch every run of this window uses.
    using PageFetch = std::function<std::string(const std::string& url, int port)>;

    // Smallest client area (below the menu bar), in pixels; the window opens
    // wider when the list's columns need it.
    static constexpr int kClientWidth = 502;
    static constexpr int kClientHeight = 427;
    // Widths and minimum widths of the list's six columns; a column opens
    // wider when its caption or the widest figure needs it.
    static const int kColumnWidths[engine::kColumnCount];
    static const int kColumnMinimumWidths[engine::kColumnCount];

    explicit TForm1(PageFetch fetch, engine::ServiceEndpoints endpoints = {},
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // The Locate dialog and the About box, created after the window; the
    // window does not own them. Without a Locate dialog Start does nothing
    // but press Stop; without an About box About does the same.
    void SetLocateDialog(TStartForm* dialog) { locate_ = dialog; }
    void SetAboutBox(TInfoForm* box) { about_ = box; }
    // The fetch a run uses on the fetch scheduler's workers, and the
    // scheduler's limits. With Jobs above 1 a run fetches its pages there,
    // many at once, and the window's thread never waits on the network;
    // without it, or with Jobs 1, pages are fetched one after another with
    // the page fetch given at construction.
    void SetParallelFetch(frontend::FetchFunction fetch, frontend::SchedulerLimits limits);
    // The survey history; without one (the default) surveys are not
    // recorded and the History window lists nothing.
    void SetHistory(HistorySettings history) { history_ = std::move(history); }
    const HistorySettings& History() const { return history_; }
    // The folder whose "../share/corvane/help" holds the installed help
    // pages: the program's own unless set (an installation elsewhere).
    void SetProgramFolder(const QString& folder) { ProgramFolder = folder; }

    // What the Settings window offers beyond the saved settings (the rank
    // lists' status and their update), and who is told of settings saved
    // there: `Saved` applies them to the window's runs (behind the
    // environment and the command line) and returns a note for the status
    // line, empty when they apply. Without it, saved settings wait for the
    // next start.
    struct SettingsHooks {
        std::function<std::vector<std::string>()> ListStatus;
        ListUpdater UpdateLists;
        std::function<std::string(const frontend::UserSettings&)> Saved;
    };
    void SetSettingsHooks(SettingsHooks hooks) { settingsHooks_ = std::move(hooks); }
    // The survey settings of the window's runs from now on: the scheduler's
    // limits (jobs and per-host), the search profile and the SearXNG
    // address.
    void SetSurveySettings(const frontend::FrontEndSettings& settings);
    // What a survey of today's web needs from the program: its rank lists,
    // the base address of its search source, and the fetch of a whole
    // request on a scheduler's worker. Without them the window runs only the
    // classic survey.
    struct WebSurveyHooks {
        std::function<lists::RankLists()> Lists;
        std::function<std::string(const search::SearchProfile&)> Base;
        frontend::RequestFunction Fetch;
    };
    void SetWebSurveyHooks(WebSurveyHooks hooks) { webHooks_ = std::move(hooks); }
    const frontend::SchedulerLimits& Limits() const { return limits_; }
    const std::string& SurveyProfile() const { return profile_; }
    const std::string& SearxngUrl() const { return searxngUrl_; }

    engine::ResultsTable& Table() { return table_; }
    ResultsModel* Model() const { return model_; }
    // The status line's text.
    QString StatusText() const;
    // True while a run started by this window has not returned.
    bool RunInProgress() const { return activeHost_ != nullptr || activeRun_ != nullptr; }
    // Centres the window on the screen (done before it is first shown).
    void CentreOnScreen();

  public slots:
    void BitBtn2Click();  // Start
    void StopBtnClick();  // Stop
    void Open1Click();
    void Save1Click();
    void HistoryItemClick();
    // Opens the Settings window on the saved settings; OK saves them and
    // hands them to the SettingsHooks.
    void SettingsItemClick();
    // Shows a recorded survey as Open shows a file (asking first about an
    // unsaved table, and giving a run in progress up).
    void OpenRecorded(std::int64_t id);
    // A chart of the selected rows' ranks through the surveys of the
    // table's query and profile.
    void RankHistory1Click();
    void Exit1Click();
    void Visittheselectedwebsite1Click();
    void Visitwebsite1Click();
    void ListView1DblClick();
    void Contents1Click();
    void TheCorvaneHomepage1Click();
    void About1Click();
    void ListView1ColumnClick(int column);

  public:
    // Close box, system menu and Exit: asks before an unsaved table goes
    // (the close is then off when the user cancels), presses Stop and gives
    // up a run in progress.
    void FormCloseQuery(bool& canClose);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // A survey asked for through the Locate dialog, or a survey file to
    // open.
    struct SurveyRequest {
        std::string Text;
        std::int32_t ResultCount = 0;
        std::int32_t Skip = 0;
        engine::SurveyMode Mode = engine::SurveyMode::Keyword;
    };
    struct OpenRequest {
        QString File;
    };
    struct RecordedRequest {
        std::int64_t Id = 0;
    };
    using Request = std::variant<SurveyRequest, OpenRequest, RecordedRequest>;

    void FormCreate();
    void BuildMenus();
    void BuildControls();
    std::array<int, engine::kColumnCount> OpeningColumnWidths() const;
    void LayOutClient();
    // Stop, as commands press it before their own action: a failure of the
    // events it lets through does not keep the command from its action.
    void PressStop();
    // Lets every pending event be delivered.
    static void ProcessMessages();
    void ShowStatusText(const QString& text);
    void Perform(const Request& request);
    // Asks for a file and saves the table to it; true when it was saved.
    bool SaveTable();
    // Before a table of survey rows that was never saved goes (by a new
    // survey, a file opened, or the window closing): asks whether to save
    // it first. True when the command may go on.
    enum DiscardMoment { Replacing, Closing };
    bool ConfirmDiscard(DiscardMoment moment);
    // Start off and Stop on while a run goes, the other way round between.
    void ShowRunState();
    void ShowRowCount();
    // Records a survey that ended, with the table's rows when they are the
    // survey's own, else with none.
    void RecordSurvey(history::SurveyInfo info, bool tableIsTheSurveys);
    // Steps 5 to 8 of a Start.
    void RunOne(const SurveyRequest& request);
    // Step 7, pages fetched one after another on the window's thread (inside
    // the run's event pump), or on the fetch scheduler's workers.
    // Each says how the run ended.
    history::SurveyEnd RunSerial(const SurveyRequest& request);
    history::SurveyEnd RunParallel(const SurveyRequest& request);
    // A run on the fetch scheduler's workers: the status line's count of
    // complete sites, and the window's part while it runs (it is the active
    // run, Escape stops it, the buttons show it) until EndRun.
    std::function<void(std::size_t, std::size_t)> SiteProgress();
    QMetaObject::Connection BeginRun(WindowRun& run);
    void EndRun(const QMetaObject::Connection& escape);
    // A survey of today's web with `profile`; `done` becomes the status
    // line's closing text (the notes, or why it could not run). Nothing when
    // the run could not give a table: the previous survey is still shown.
    std::optional<history::SurveyEnd> RunWeb(const SurveyRequest& request,
                                             const search::SearchProfile& profile, QString& done);
    bool ParallelRoad() const;
    void OpenFile(const QString& file);
    void OpenRecordedSurvey(std::int64_t id);
    // The folder the file prompts start in: the one last chosen (kept in the
    // per-user store), else the user's documents folder.
    static QString RememberedSurveyFolder();
    // Asks with `request`, starting in surveyFolder_; a file chosen makes
    // its folder the new starting folder.
    QString AskSurveyFile(FileDialogRequest& request);
    // Shows (creating it the first time) the help window.
    void ShowHelpWindow();
    // Hands an address or a file to the desktop; a refusal shows in the
    // status line.
    void OpenInDesktop(const QString& target);
    void GiveUpRun();

    // Controls, with their form names (also their object names).
    QWidget* Client = nullptr;  // the client area below the menu bar
    QLabel* Image1 = nullptr;
    TPictureButton* BitBtn2 = nullptr;  // "Start"
    TPictureButton* StopBtn = nullptr;  // "Stop"
    QTreeView* ListView1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* RowCount = nullptr;  // the number of rows, at the status line's right

    QMenuBar* MainMenu1 = nullptr;
    QMenu* File1 = nullptr;
    QMenu* Website1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Open1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* HistoryItem = nullptr;
    QAction* SettingsItem = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Visittheselectedwebsite1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* TheCorvaneHomepage1 = nullptr;
    QAction* About1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Visitwebsite1 = nullptr;
    QAction* RankHistory1 = nullptr;

    // The banner picture as designed, and the client area's opening size.
    QPixmap banner_;
    QSize openingClient_;

    // The menu pictures, by index.
    std::vector<QIcon> ImageList1;

    // The open-file prompt's settings, and the save prompt's (the same
    // filter, default suffix and starting folder, surveyFolder_).
    FileDialogRequest OpenDialog1;
    FileDialogRequest SaveDialog1;
    // The folder of the program's executable, with a trailing "/".
    QString ProgramFolder;
    QString surveyFolder_;

    engine::ResultsTable table_;
    ResultsModel* model_ = nullptr;
    PageFetch fetch_;
    engine::ServiceEndpoints endpoints_;
    EscapeKeyState* escape_ = nullptr;
    TStartForm* locate_ = nullptr;
    TInfoForm* about_ = nullptr;
    THelpWindow* help_ = nullptr;
    THistoryWindow* historyWindow_ = nullptr;

    // Surveys and file opens, one at a time; one asked for during a run
    // waits until that run, given up, has returned.
    RequestQueue<Request> requests_;
    // Rows came from a run and were not saved since.
    bool unsaved_ = false;
    // Those rows are in the history all the same.
    bool recorded_ = false;
    HistorySettings history_;
    // The query, mode and profile of the survey shown, when it came from a
    // run or the history.
    std::optional<history::SurveyInfo> shown_;
    // The host of the run that has not returned yet, if any.
    WindowSurveyHost* activeHost_ = nullptr;
    // The run on the fetch scheduler that has not returned yet, if any.
    WindowRun* activeRun_ = nullptr;
    WebSurveyHooks webHooks_;
    frontend::FetchFunction parallelFetch_;
    frontend::SchedulerLimits limits_;
    std::string profile_ = frontend::FrontEndSettings::kDefaultProfile;
    std::string searxngUrl_;
    SettingsHooks settingsHooks_;
};

}  // namespace corvane::ui
