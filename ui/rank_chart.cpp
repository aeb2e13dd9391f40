#include "ui/rank_chart.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "history/sqlite_db.h"
#include "ui/results_model.h"

namespace corvane::ui {

namespace {

constexpr qint64 kDayMs = 24 * 60 * 60 * 1000;

qint64 UtcMs(const std::string& utc) {
    QDateTime t = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODate);
    t.setTimeSpec(Qt::UTC);
    return t.toMSecsSinceEpoch();
}

}  // namespace

TRankChart::TRankChart(const QString& title, const std::vector<HostRanks>& hosts, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("RankChart"));
    setWindowTitle(title);
    resize(640, 420);

    auto* chart = new QChart;
    chart->setTitle(title);
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("yyyy-MM-dd"));
    x->setTitleText(QStringLiteral("Survey (UTC)"));
    auto* y = new QValueAxis;
    y->setTitleText(QStringLiteral("Rank"));
    y->setLabelFormat(QStringLiteral("%d"));
    // Rank 1, the best, at the top.
    y->setReverse(true);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    std::int32_t low = std::numeric_limits<std::int32_t>::max();
    std::int32_t high = 0;
    qint64 first = std::numeric_limits<qint64>::max();
    qint64 last = std::numeric_limits<qint64>::min();
    for (const HostRanks& host : hosts) {
        auto* series = new QLineSeries;
        series->setName(ResultsModel::ToQString(host.Host));
        series->setObjectName(series->name());
        series->setPointsVisible(true);
        for (const history::RankPoint& point : host.Points) {
            if (!point.Rank) {
                continue;
            }
            const qint64 at = UtcMs(point.StartedUtc);
            series->append(static_cast<qreal>(at), *point.Rank);
            low = std::min(low, *point.Rank);
            high = std::max(high, *point.Rank);
            first = std::min(first, at);
            last = std::max(last, at);
        }
        chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
    }
    if (high == 0) {  // no rank at all
        low = 1;
        high = 1;
    }
    // Fitted to the ranks, with room for one line when all are equal.
    if (low == high) {
        low = std::max(1, low - 1);
        high = high + 1;
    }
    y->setRange(low, high);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(low);
    y->setTickInterval(std::max(1.0, std::ceil((high - low) / 10.0)));
    if (first > last) {
        first = last = QDateTime::currentMSecsSinceEpoch();
    }
    if (first == last) {
        first -= kDayMs;
        last += kDayMs;
    }
    x->setRange(QDateTime::fromMSecsSinceEpoch(first, Qt::UTC),
                QDateTime::fromMSecsSinceEpoch(last, Qt::UTC));

    view_ = new QChartView(chart, this);
    view_->setObjectName(QStringLiteral("RankChartView"));
    view_->setRenderHint(QPainter::Antialiasing);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

QChart* TRankChart::Chart() const {
    return view_->chart();
}

std::vector<HostRanks> ReadRankSeries(const std::string& file, const history::SurveyInfo& like,
                                      const std::vector<std::string>& hosts, QString& problem) {
    std::vector<HostRanks> series;
    // A history never written is not created by looking at it.
    if (!QFileInfo::exists(QString::fromStdString(file))) {
        problem = QStringLiteral("no survey has been recorded yet");
        return series;
    }
    try {
        history::HistoryStore store(file);
        for (const std::string& host : hosts) {
            const bool repeat = std::any_of(series.begin(), series.end(),
                                            [&](const HostRanks& h) { return h.Host == host; });
            if (!repeat) {
                series.push_back(
                    {host, store.RankSeries(host, like.Query, like.Mode, like.Profile)});
            }
        }
    } catch (const history::HistoryError& e) {
        problem = QString::fromUtf8(e.what()).simplified();
        series.clear();
    } catch (const history::SqliteError& e) {
        problem = QString::fromUtf8(e.what()).simplified();
        series.clear();
    }
    return series;
}

TRankChart* OpenRankChart(QWidget* parent, const std::string& file, const history::SurveyInfo& like,
                          const std::vector<std::string>& hosts, QString& problem) {
    const std::vector<HostRanks> series = ReadRankSeries(file, like, hosts, problem);
    if (series.empty()) {
        if (problem.isEmpty()) {
            problem = QStringLiteral("no host to chart");
        }
        return nullptr;
    }
    QString title =
        QStringLiteral("Rank history of \"%1\"").arg(ResultsModel::ToQString(like.Query));
    if (like.Mode == engine::SurveyMode::Domain) {
        title += QStringLiteral(" (domain)");
    }
    auto* chart = new TRankChart(title, series, parent);
    chart->setAttribute(Qt::WA_DeleteOnClose);
    chart->show();
    return chart;
}

TRankChart* OpenLeadersChart(QWidget* parent, const std::string& file, std::int64_t id,
                             std::size_t count, QString& problem) {
    std::optional<history::Survey> survey;
    try {
        survey = history::HistoryStore(file).Find(id);
    } catch (const history::HistoryError& e) {
        problem = QString::fromUtf8(e.what()).simplified();
        return nullptr;
    } catch (const history::SqliteError& e) {
        problem = QString::fromUtf8(e.what()).simplified();
        return nullptr;
    }
    if (!survey) {
        problem = QStringLiteral("survey %1 is no longer in the history").arg(id);
        return nullptr;
    }
    std::vector<std::string> hosts;
    for (const history::HistoryRow& row : survey->Rows) {
        if (hosts.size() == count) {
            break;
        }
        if (std::find(hosts.begin(), hosts.end(), row.Host) == hosts.end()) {
            hosts.push_back(row.Host);
        }
    }
    return OpenRankChart(parent, file, survey->Info, hosts, problem);
}

}  // namespace corvane::ui
