#include "ui/history_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/ascii.h"
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

RankMarks MarksAgainstPrevious(const std::string& file, std::int64_t id) {
    RankMarks marks;
    try {
        history::HistoryStore store(file);
        const std::optional<std::int64_t> previous = store.PreviousOf(id);
        if (!previous) {
            return marks;
        }
        const std::optional<history::Survey> before = store.Find(*previous);
        const std::optional<history::Survey> after = store.Find(id);
        if (!before || !after) {
            return marks;
        }
        const QString since = ShortUtcTime(before->Info.StartedUtc);
        for (const history::ComparedHost& host :
             history::CompareSurveys(before->Rows, after->Rows)) {
            if (host.After) {
                marks[{host.Host, host.After->Figures[0]}] = RankMark{host.Move, host.Steps, since};
            }
        }
    } catch (const history::HistoryError&) {
        // The marks are an extra: without a readable history there are none.
        marks.clear();
    } catch (const history::SqliteError&) {
        marks.clear();
    }
    return marks;
}

QString SurveyCaption(const history::SurveyInfo& info) {
    return QStringLiteral("Survey of \"%1\" from %2 UTC (%3, %4, %5, %6)")
        .arg(ResultsModel::ToQString(info.Query), ShortUtcTime(info.StartedUtc),
             QLatin1String(history::SurveyModeName(info.Mode)),
             ResultsModel::ToQString(info.Profile), QLatin1String(history::SurveyEndName(info.End)),
             info.RowCount == 1 ? QStringLiteral("1 row")
                                : QStringLiteral("%1 rows").arg(info.RowCount));
}

THistoryWindow::THistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("Survey history"));
    resize(640, 400);

    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("HistoryFilter"));
    filter_->setPlaceholderText(QStringLiteral("Filter by query"));
    filter_->setClearButtonEnabled(true);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("HistoryList"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHeaderLabels({QStringLiteral("Date (UTC)"), QStringLiteral("Query"),
                            QStringLiteral("Mode"), QStringLiteral("Profile"),
                            QStringLiteral("Rows"), QStringLiteral("Ended")});
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(QueryColumn, QHeaderView::Stretch);
    list_->setColumnWidth(DateColumn, 130);

    open_ = new QPushButton(QStringLiteral("&Open"), this);
    open_->setObjectName(QStringLiteral("HistoryOpen"));
    chart_ = new QPushButton(QStringLiteral("Rank &chart..."), this);
    chart_->setObjectName(QStringLiteral("HistoryChart"));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("HistoryStatus"));
    // A notice of a damaged file names two paths: it wraps rather than
    // widening the window.
    status_->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(status_, 1);
    buttons->addWidget(chart_);
    buttons->addWidget(open_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filter_);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    connect(filter_, &QLineEdit::textChanged, this, [this] { ShowFiltered(); });
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        emit OpenRequested(item->data(DateColumn, Qt::UserRole).value<qint64>());
    });
    connect(open_, &QPushButton::clicked, this, [this] { OpenSelected(); });
    connect(chart_, &QPushButton::clicked, this, [this] { ChartSelected(); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const bool any = SelectedId() != 0;
        open_->setEnabled(any);
        chart_->setEnabled(any);
    });
    open_->setEnabled(false);
    chart_->setEnabled(false);
}

void THistoryWindow::SetFile(const std::string& file) {
    file_ = file;
    Refresh();
}

void THistoryWindow::Refresh() {
    surveys_.clear();
    problem_.clear();
    // A history never written is not created by looking at it.
    if (file_.empty() || !QFileInfo::exists(QString::fromStdString(file_))) {
        problem_ = QStringLiteral("No survey has been recorded yet.");
        ShowFiltered();
        return;
    }
    try {
        history::HistoryStore store(file_);
        // A damaged file moved aside on this look is said in the status
        // line, in place of the count, so that it is not lost.
        problem_ = OneLine(store.Notice());
        surveys_ = store.List();
    } catch (const history::HistoryError& e) {
        problem_ = OneLine(e.what());
    } catch (const history::SqliteError& e) {
        problem_ = OneLine(file_ + ": " + e.what());
    }
    ShowFiltered();
}

void THistoryWindow::ShowFiltered() {
    const std::int64_t selected = SelectedId();
    list_->clear();
    // The same rule as the command line's --query: the query holds the
    // text, ASCII case ignored.
    const std::string wanted = base::LowerAscii(filter_->text().toStdString());
    int shown = 0;
    for (const history::SurveyInfo& info : surveys_) {
        if (!wanted.empty() && base::LowerAscii(info.Query).find(wanted) == std::string::npos) {
            continue;
        }
        ++shown;
        auto* item = new QTreeWidgetItem(list_);
        item->setText(DateColumn, ShortUtcTime(info.StartedUtc));
        item->setText(QueryColumn, ResultsModel::ToQString(info.Query));
        item->setText(ModeColumn, QLatin1String(history::SurveyModeName(info.Mode)));
        item->setText(ProfileColumn, ResultsModel::ToQString(info.Profile));
        item->setText(RowsColumn, QString::number(info.RowCount));
        item->setTextAlignment(RowsColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(EndColumn, QLatin1String(history::SurveyEndName(info.End)));
        item->setData(DateColumn, Qt::UserRole, QVariant::fromValue<qint64>(info.Id));
        item->setToolTip(QueryColumn, item->text(QueryColumn));
        if (info.Id == selected) {
            list_->setCurrentItem(item);
        }
    }
    if (!problem_.isEmpty()) {
        status_->setText(problem_);
        return;
    }
    status_->setText(shown == 1 ? QStringLiteral("1 survey")
                                : QStringLiteral("%1 surveys").arg(shown));
}

std::int64_t THistoryWindow::SelectedId() const {
    const QList<QTreeWidgetItem*> items = list_->selectedItems();
    if (items.isEmpty()) {
        return 0;
    }
    return items.front()->data(DateColumn, Qt::UserRole).value<qint64>();
}

void THistoryWindow::ShowOpened(const QString& caption) {
    status_->setText(caption);
}

void THistoryWindow::OpenSelected() {
    if (const std::int64_t id = SelectedId()) {
        emit OpenRequested(id);
    }
}

void THistoryWindow::ChartSelected() {
    if (const std::int64_t id = SelectedId()) {
        emit ChartRequested(id);
    }
}

}  // namespace corvane::ui
