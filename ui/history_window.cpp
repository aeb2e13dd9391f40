#include "ui/history_window.h"

#include "history/sqlite_db.h"
#include "ui/results_model.h"

namespace corvane::ui {

namespace {

QString OneLine(const std::string& text) {
    QString line = ResultsModel::ToQString(text);
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}

}  // namespace

std::optional<std::int64_t> RecordInHistory(const std::string& file,
                                            const history::SurveyInfo& info,
                                            const engine::ResultsTable& table, QString& problem,
                                            QString& notice) {
    try {
        history::HistoryStore store(file);
        notice = OneLine(store.Notice());
        return store.Record(info, history::RowsFromTable(table));
    } catch (const history::HistoryError& e) {
        problem = OneLine(e.what());
    } catch (const history::SqliteError& e) {
        problem = OneLine(file + ": " + e.what());
    }
    return std::nullopt;
}

QString ShortUtcTime(const std::string& utc) {
    if (!history::IsUtcTimestamp(utc)) {
        return ResultsModel::ToQString(utc);
    }
    // "YYYY-MM-DDTHH:MM:SSZ"
    return ResultsModel::ToQString(utc.substr(0, 10) + " " + utc.substr(11, 5));
}

}  // namespace corvane::ui
