// The results table as a Qt item model, for the main window's list view.
//
// The model keeps no rows of its own: it reads the engine's table on demand
// and turns the table's change notifications into the model's signals, so
// the view follows a run cell by cell (a new row, then each cell as it is
// appended), a row removed, a clear, a load and a re-ordering, with persistent indexes (the
// selection, the current row) moved along with their rows.
#pragma once

#include <QAbstractTableModel>

#include "engine/results_table.h"

namespace corvane::ui {

class ResultsModel : public QAbstractTableModel, private engine::TableObserver {
    Q_OBJECT
  public:
    // The row's Checked flag, on column 0.
    static constexpr int CheckedRole = Qt::UserRole;

    // Observes `table`, which must outlive the model.
    explicit ResultsModel(engine::ResultsTable& table, QObject* parent = nullptr);
    ~ResultsModel() override;

    engine::ResultsTable& Table() const { return table_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
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

    engine::ResultsTable& table_;
};

}  // namespace corvane::ui
