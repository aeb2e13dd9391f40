// The window's side of the survey history: recording the surveys the main
// window runs, and the History window that lists the recorded ones.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/results_table.h"
#include "history/history_store.h"
#include "ui/results_model.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace corvane::ui {

// Where the window keeps its history: the file it reads (empty: none) and
// whether the surveys it runs are recorded there.
struct HistorySettings {
    std::string File;
    bool Record = false;
};

// Records one survey with the table's rows. Returns its id, or none with
// `problem` set to one line that says why (the file cannot be opened or
// written); a notice of a damaged file moved aside goes to `notice`.
std::optional<std::int64_t> RecordInHistory(const std::string& file,
                                            const history::SurveyInfo& info,
                                            const engine::ResultsTable& table, QString& problem,
                                            QString& notice);

// "YYYY-MM-DD HH:MM" of a recorded UTC time, for people.
QString ShortUtcTime(const std::string& utc);

// The marks of a recorded survey's rows against the previous survey of its
// query, mode and profile; none when there is no such survey or the history
// cannot be read.
RankMarks MarksAgainstPrevious(const std::string& file, std::int64_t id);

// "Survey of "tools" from 2026-12-08 07:50 UTC (keyword, classic, done,
// 4 rows)": which recorded survey is shown.
QString SurveyCaption(const history::SurveyInfo& info);

// The History window: the recorded surveys, newest first, with a filter by
// query. Opening one (double click, Enter or Open) asks the main window to
// show it; the window itself never touches the main window's table.
//
// Object names: HistoryWindow, HistoryFilter, HistoryList, HistoryOpen,
// HistoryChart, HistoryStatus.
class THistoryWindow : public QWidget {
    Q_OBJECT
  public:
    // The list's columns.
    enum Column { DateColumn, QueryColumn, ModeColumn, ProfileColumn, RowsColumn, EndColumn };

    explicit THistoryWindow(QWidget* parent = nullptr);

    // The history file listed; empty: none.
    void SetFile(const std::string& file);
    // Reads the history again and shows it through the filter as it is.
    void Refresh();
    // The id of the selected survey, 0 when none is.
    std::int64_t SelectedId() const;
    // Says in the window's status line which survey the main window shows.
    void ShowOpened(const QString& caption);

  signals:
    void OpenRequested(qint64 id);
    void ChartRequested(qint64 id);

  private:
    void OpenSelected();
    void ChartSelected();
    // Lists the surveys read last whose query holds the filter's text.
    void ShowFiltered();

    std::string file_;
    // The surveys read by the last Refresh, newest first; typing in the
    // filter goes through these and does not reopen the file (an open
    // checks the whole file, which takes its time on a long history).
    std::vector<history::SurveyInfo> surveys_;
    // Said in the status line in place of the count: the file could not be
    // read, or was found damaged and moved aside.
    QString problem_;
    QLineEdit* filter_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* chart_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace corvane::ui
