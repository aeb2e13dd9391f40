// The Settings window (File > Settings...): the search profile and the
// SearXNG instance, the rank lists with their status and an update, the
// proxy, the jobs limits and the User-Agent. OK checks the fields and saves
// them (frontend::SaveUserSettings); a field that cannot be used is named
// in the window, which stays open with everything as typed. Cancel, Escape
// and the close box discard the changes.
//
// "Update lists" runs the caller's updater on a worker thread of its own;
// the updater reports through ListUpdateProgress, whose reports reach the
// window through queued signals, so the window answers input all the while.
// A second click during an update does nothing. Closing the window during
// an update cancels it (the flag and the fetch cancel of ListUpdateProgress);
// the window's destructor waits for the updater to return.
#pragma once

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frontend/user_settings.h"
#include "net/fetch_cancel.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace corvane::ui {

class TSettingsDialog;

// What a rank-list update has of the window, on its worker thread.
class ListUpdateProgress {
  public:
    // `received` bytes of `total` (-1: not known) of what `what` names
    // ("tranco", say). Callable as often as bytes arrive: the window shows
    // the latest report, one queued signal at a time.
    void Report(const std::string& what, std::int64_t received, std::int64_t total);
    // True once the window has closed during the update; the updater should
    // return soon.
    bool Cancelled() const { return cancelled_.load(); }
    // The cancel token for the update's fetches (one fetch at a time):
    // closing the window cancels it.
    net::FetchCancel& Cancel() { return cancel_; }

    ListUpdateProgress(const ListUpdateProgress&) = delete;
    ListUpdateProgress& operator=(const ListUpdateProgress&) = delete;

  private:
    friend class TSettingsDialog;
    explicit ListUpdateProgress(TSettingsDialog& dialog) : dialog_(dialog) {}

    TSettingsDialog& dialog_;
    net::FetchCancel cancel_;
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    std::string what_;
    std::int64_t received_ = 0;
    std::int64_t total_ = -1;
    bool signalled_ = false;  // a report waits to be shown
    // The update's end: its lines, or the failure.
    std::vector<std::string> lines_;
    std::string failure_;
};

// Updates the rank lists on the window's worker thread; returns a line per
// list saying how it went ("tranco: 1000000 rows"). A failure of the whole
// update throws std::runtime_error with the message for the user.
using ListUpdater = std::function<std::vector<std::string>(ListUpdateProgress&)>;

// What the window shows and does beyond the saved settings.
struct SettingsDialogServices {
    // The search profiles to choose from, in the order shown.
    std::vector<std::string> ProfileNames;
    // A line per rank list: what is there and how old it is. None: the
    // window says the status is not known.
    std::function<std::vector<std::string>()> ListStatus;
    // None: "Update lists" is off.
    ListUpdater UpdateLists;
    // Where OK saves; empty: the user's own settings folder.
    std::string Folder;
};

class TSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    TSettingsDialog(const frontend::UserSettings& settings, SettingsDialogServices services,
                    QWidget* parent = nullptr);
    // Cancels an update still running and waits for its updater to return.
    ~TSettingsDialog() override;
    TSettingsDialog(const TSettingsDialog&) = delete;
    TSettingsDialog& operator=(const TSettingsDialog&) = delete;

    // The settings as the fields hold them now (texts trimmed, except the
    // password).
    frontend::UserSettings Edited() const;
    // What OK saved (the settings given until then).
    const frontend::UserSettings& Saved() const { return saved_; }
    bool UpdateRunning() const { return worker_.joinable(); }

    // The controls, by their object names.
    QGroupBox* SearchGroup = nullptr;
    QComboBox* ProfileCombo = nullptr;
    QLineEdit* SearxngEdit = nullptr;
    QGroupBox* ListsGroup = nullptr;
    QLabel* ListStatusLabel = nullptr;
    QPushButton* UpdateListsButton = nullptr;
    QProgressBar* ListProgress = nullptr;
    QLabel* ListProgressLabel = nullptr;
    QGroupBox* ProxyGroup = nullptr;
    QComboBox* ProxyKindCombo = nullptr;
    QLineEdit* ProxyHostEdit = nullptr;
    QSpinBox* ProxyPortSpin = nullptr;
    QLineEdit* ProxyUserEdit = nullptr;
    QLineEdit* ProxyPasswordEdit = nullptr;
    QGroupBox* FetchGroup = nullptr;
    QSpinBox* JobsSpin = nullptr;
    QSpinBox* PerHostSpin = nullptr;
    QLineEdit* UserAgentEdit = nullptr;
    QLabel* ProblemLabel = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

  public slots:
    // Checks and saves; closes only when the settings were saved.
    void OkClick();
    void UpdateListsClick();

  public:
    // Every close goes through here: an update still running is cancelled.
    void done(int result) override;

  signals:
    // Sent by the worker thread, delivered queued on the window's thread.
    void ListProgressReported();
    void ListUpdateEnded();

  private:
    friend class ListUpdateProgress;
    void BuildControls();
    void Load(const frontend::UserSettings& settings);
    void ShowProxyFields();
    void ShowListStatus();
    void ShowListProgress();
    void FinishListUpdate();
    void ShowProblem(const QString& text, QWidget* field);
    QWidget* FieldOf(frontend::UserSetting setting) const;
    void CancelUpdate();

    SettingsDialogServices services_;
    frontend::UserSettings saved_;
    std::unique_ptr<ListUpdateProgress> progress_;
    std::thread worker_;
};

}  // namespace corvane::ui
