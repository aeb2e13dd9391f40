// The results table as a Qt item model, for the main window's list view.
//
// The model keeps no rows of its own: it reads the engine's table on demand
// and turns the table's change notifications into the model's signals, so
// the view follows a run cell by cell (a new row, then each cell as it is
// appended), a row removed, a clear, a load and a re-ordering, with persistent indexes (the
// selection, the current row) moved along with their rows.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "engine/results_table.h"
#include "history/survey_compare.h"

namespace corvane::ui {

// How a row's rank moved since the previous survey of the same query and
// profile, and that survey's time ("YYYY-MM-DD HH:MM").
struct RankMark {
    history::Movement Move = history::Movement::Same;
    std::int64_t Steps = 0;
    QString Since;
};
// By host and rank text: a host listed twice has a mark for each of its
// rows, and a mark follows its row when the table is re-ordered.
using RankMarks = std::map<std::pair<std::string, std::string>, RankMark>;

class ResultsModel : public QAbstractTableModel, private engine::TableObserver {
    Q_OBJECT
  public:
    // The row's Checked flag, on column 0.
    static constexpr int CheckedRole = Qt::UserRole;
    // The rank's movement (a history::Movement as int), on the Rank #
    // column of a row that has a mark. The mark itself is the cell's
    // decoration, its words the cell's tool tip; the text stays the figure.
    static constexpr int RankMoveRole = Qt::UserRole + 1;
    static constexpr int kRankColumn = 1;

    // Observes `table`, which must outlive the model.
    explicit ResultsModel(engine::ResultsTable& table, QObject* parent = nullptr);
    ~ResultsModel() override;

    engine::ResultsTable& Table() const { return table_; }

    // The marks beside the ranks; the table's next clear drops them.
    void SetRankMarks(RankMarks marks);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The six column captions (a survey of today's web names its sixth
    // column otherwise); not owned, they must live as long as the model.
    void SetCaptions(const char* const* captions);
    const char* const* Captions() const { return captions_; }

    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Texts of the table are bytes; the program keeps them as UTF-8.
    static QString ToQString(const std::string& text);

  private:
    void TableAboutToClear() override;
    void TableCleared() override;
    void RowAboutToAppend(std::size_t index) override;
    void RowAppended(std::size_t index) override;
    void RowChanged(std::size_t index, int part) override;
    void RowAboutToRemove(std::size_t index) override;
    void RowRemoved(std::size_t index) override;
    void TableAboutToReorder() override;
    void TableReordered(const std::vector<std::size_t>& newIndexOfOld) override;

    const RankMark* MarkOf(const engine::ResultRow& row) const;

    engine::ResultsTable& table_;
    RankMarks marks_;
    const char* const* captions_ = engine::kColumnCaptions;
};

}  // namespace corvane::ui
