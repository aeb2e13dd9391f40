#include "ui/results_model.h"

namespace corvane::ui {

ResultsModel::ResultsModel(engine::ResultsTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {
    table_.AddObserver(this);
}

ResultsModel::~ResultsModel() {
    table_.RemoveObserver(this);
}

QString ResultsModel::ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.Count());
}

int ResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : engine::kColumnCount;
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.parent().isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= table_.Count()) {
        return QVariant();
    }
    const engine::ResultRow& row = table_.Row(static_cast<std::size_t>(index.row()));
    switch (role) {
        case Qt::DisplayRole:
            return ToQString(row.Column(index.column()));
        case CheckedRole:
            return index.column() == 0 ? QVariant(row.Checked) : QVariant();
        case Qt::TextAlignmentRole:
            // Figures line up at their last digit.
            return index.column() == 0 ? QVariant()
                                       : QVariant(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        case Qt::ToolTipRole:
            // The host in full, for when its column is too narrow.
            return index.column() == 0 ? QVariant(ToQString(row.Caption)) : QVariant();
        default:
            return QVariant();
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= engine::kColumnCount) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::TextAlignmentRole) {
        // Over the figures, the captions line up with them on the right.
        return QVariant(
            Qt::Alignment((section == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter));
    }
    if (role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return QString::fromLatin1(engine::kColumnCaptions[section]);
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Selectable, never editable: captions cannot be changed in place.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultsModel::TableAboutToClear() {
    beginResetModel();
}

void ResultsModel::TableCleared() {
    endResetModel();
}

void ResultsModel::RowAboutToAppend(std::size_t index) {
    const int row = static_cast<int>(index);
    beginInsertRows(QModelIndex(), row, row);
}

void ResultsModel::RowAppended(std::size_t) {
    endInsertRows();
}

void ResultsModel::RowChanged(std::size_t index, int part) {
    const int row = static_cast<int>(index);
    if (part == TableObserver::kCheckedPart) {
        const QModelIndex at = this->index(row, 0);
        emit dataChanged(at, at, {CheckedRole});
        return;
    }
    if (part >= 0 && part < engine::kColumnCount) {
        const QModelIndex at = this->index(row, part);
        emit dataChanged(at, at, {Qt::DisplayRole});
    }
}

void ResultsModel::RowAboutToRemove(std::size_t index) {
    const int row = static_cast<int>(index);
    beginRemoveRows(QModelIndex(), row, row);
}

void ResultsModel::RowRemoved(std::size_t) {
    endRemoveRows();
}

void ResultsModel::TableAboutToReorder() {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ResultsModel::TableReordered(const std::vector<std::size_t>& newIndexOfOld) {
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& old : from) {
        const auto r = static_cast<std::size_t>(old.row());
        to.append(r < newIndexOfOld.size() ? index(static_cast<int>(newIndexOfOld[r]), old.column())
                                           : QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace corvane::ui
