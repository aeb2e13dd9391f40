#include "ui/results_model.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace corvane::ui {

namespace {

// The small marks beside a rank: a green triangle up, a red one down, a
// blue dot for a host new to the list, a grey bar for one that stayed.
QIcon MarkIcon(history::Movement move) {
    constexpr int kSize = 10;
    QPixmap picture(kSize, kSize);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QPainterPath triangle;
    switch (move) {
        case history::Movement::Up:
            triangle.moveTo(kSize / 2.0, 1);
            triangle.lineTo(kSize - 1, kSize - 2);
            triangle.lineTo(1, kSize - 2);
            triangle.closeSubpath();
            p.fillPath(triangle, QColor(30, 150, 60));
            break;
        case history::Movement::Down:
            triangle.moveTo(1, 2);
            triangle.lineTo(kSize - 1, 2);
            triangle.lineTo(kSize / 2.0, kSize - 1);
            triangle.closeSubpath();
            p.fillPath(triangle, QColor(200, 40, 40));
            break;
        case history::Movement::New:
            p.setBrush(QColor(40, 100, 210));
            p.drawEllipse(QRectF(1.5, 1.5, kSize - 3, kSize - 3));
            break;
        default:
            p.fillRect(QRectF(2, kSize / 2.0 - 1, kSize - 4, 2), QColor(140, 140, 140));
            break;
    }
    return QIcon(picture);
}

QString MarkText(const RankMark& mark) {
    switch (mark.Move) {
        case history::Movement::Up:
            return QStringLiteral("up %1 since %2").arg(mark.Steps).arg(mark.Since);
        case history::Movement::Down:
            return QStringLiteral("down %1 since %2").arg(mark.Steps).arg(mark.Since);
        case history::Movement::New:
            return QStringLiteral("new since %1").arg(mark.Since);
        default:
            return QStringLiteral("same as on %1").arg(mark.Since);
    }
}

}  // namespace

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
            // The host in full, for when its column is too narrow; the
            // rank's movement in words.
            if (index.column() == 0) {
                return ToQString(row.Caption);
            }
            if (index.column() == kRankColumn) {
                if (const RankMark* mark = MarkOf(row)) {
                    return MarkText(*mark);
                }
            }
            return QVariant();
        case Qt::DecorationRole:
            if (index.column() == kRankColumn) {
                if (const RankMark* mark = MarkOf(row)) {
                    return MarkIcon(mark->Move);
                }
            }
            return QVariant();
        case RankMoveRole:
            if (index.column() == kRankColumn) {
                if (const RankMark* mark = MarkOf(row)) {
                    return static_cast<int>(mark->Move);
                }
            }
            return QVariant();
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
    return QString::fromLatin1(captions_[section]);
}

void ResultsModel::SetCaptions(const char* const* captions) {
    if (captions == captions_) {
        return;
    }
    captions_ = captions;
    emit headerDataChanged(Qt::Horizontal, 0, engine::kColumnCount - 1);
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Selectable, never editable: captions cannot be changed in place.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ResultsModel::SetRankMarks(RankMarks marks) {
    const bool hadMarks = !marks_.empty();
    marks_ = std::move(marks);
    if (table_.Count() > 0 && (hadMarks || !marks_.empty())) {
        emit dataChanged(index(0, kRankColumn),
                         index(static_cast<int>(table_.Count()) - 1, kRankColumn),
                         {Qt::DecorationRole, Qt::ToolTipRole, RankMoveRole});
    }
}

const RankMark* ResultsModel::MarkOf(const engine::ResultRow& row) const {
    if (marks_.empty()) {
        return nullptr;
    }
    const auto it = marks_.find({row.Caption, row.Column(kRankColumn)});
    if (it == marks_.end() || it->second.Move == history::Movement::Unranked ||
        it->second.Move == history::Movement::Gone) {
        return nullptr;
    }
    return &it->second;
}

void ResultsModel::TableAboutToClear() {
    beginResetModel();
    marks_.clear();
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
