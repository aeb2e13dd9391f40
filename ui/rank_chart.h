// A chart of hosts' ranks over time: one line per host through the surveys
// of one query, mode and profile, rank 1 at the top and the rank axis
// fitted to the ranks shown. A survey the host was not in leaves a gap in
// the points (the line joins the surveys it was in).
//
// Object names: RankChart (the window), RankChartView.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "history/history_store.h"

class QChart;
class QChartView;

namespace corvane::ui {

struct HostRanks {
    std::string Host;
    std::vector<history::RankPoint> Points;  // oldest first
};

class TRankChart : public QWidget {
    Q_OBJECT
  public:
    TRankChart(const QString& title, const std::vector<HostRanks>& hosts,
               QWidget* parent = nullptr);

    QChart* Chart() const;

  private:
    QChartView* view_ = nullptr;
};

// The rank series of `hosts` (repeats dropped) in the surveys like `like`
// (its query, mode and profile), read from the history file; empty with
// `problem` set when the history cannot be read.
std::vector<HostRanks> ReadRankSeries(const std::string& file, const history::SurveyInfo& like,
                                      const std::vector<std::string>& hosts, QString& problem);

// Opens a chart window of those series (deleted when closed); null with
// `problem` set when there is nothing to draw.
TRankChart* OpenRankChart(QWidget* parent, const std::string& file, const history::SurveyInfo& like,
                          const std::vector<std::string>& hosts, QString& problem);

// The same for the leading `count` hosts of recorded survey `id`.
TRankChart* OpenLeadersChart(QWidget* parent, const std::string& file, std::int64_t id,
                             std::size_t count, QString& problem);

}  // namespace corvane::ui
