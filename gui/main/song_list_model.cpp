#include "main/song_list_model.h"

#include <algorithm>
#include <numeric>

#include "main/song_date.h"

namespace harbeat {
namespace {

QString cellOf(const SongRecord &song, int column) {
    switch (column) {
        case SongListModel::SongTitle: return song.title;
        case SongListModel::Group: return song.category;
        case SongListModel::SaveTime: return song.date;
        case SongListModel::GroupId: return QStringLiteral("0");
        case SongListModel::SongId: return song.songId;
        default: return {};
    }
}

template <typename T>
std::vector<T> permuted(std::vector<T> &items, const std::vector<std::size_t> &order) {
    std::vector<T> result;
    result.reserve(items.size());
    for (const std::size_t from : order) result.push_back(std::move(items[from]));
    return result;
}

}  // namespace

int SongListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SongListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant SongListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return cellText(index.row(), index.column());
    if (role == Qt::DecorationRole && index.column() == SongTitle && !rowIcon_.isNull()) return rowIcon_;
    return {};
}

QVariant SongListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return columnTitle(section);
}

QString SongListModel::cellText(int row, int column) const { return cellOf(record(row), column); }

std::vector<std::size_t> SongListModel::sortedOrder(const std::vector<SongRecord> &rows) const {
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    if (sortColumn_ < 0 || sortColumn_ >= ColumnCount) return order;
    // Folded once per row: 100,000 rows then sort by plain comparisons, in the order a
    // comparison that ignores letter case gives.
    std::vector<QString> keys;
    keys.reserve(rows.size());
    // The dates sort by the day they show, not by their text.
    for (const SongRecord &song : rows)
        keys.push_back(sortColumn_ == SaveTime ? songDateSortKey(song.date) : cellOf(song, sortColumn_).toCaseFolded());
    if (sortOrder_ == Qt::AscendingOrder)
        std::stable_sort(order.begin(), order.end(),
                         [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    else
        std::stable_sort(order.begin(), order.end(),
                         [&keys](std::size_t a, std::size_t b) { return keys[b] < keys[a]; });
    return order;
}

void SongListModel::sort(int column, Qt::SortOrder order) {
    sortColumn_ = column;
    sortOrder_ = order;
    if (rows_.empty()) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const std::vector<std::size_t> sorted = sortedOrder(rows_);
    // Selections and the current row follow their songs to the songs' new places.
    std::vector<int> newRow(sorted.size());
    for (std::size_t to = 0; to < sorted.size(); ++to) newRow[sorted[to]] = static_cast<int>(to);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(index.isValid() ? this->index(newRow[static_cast<std::size_t>(index.row())], index.column())
                                     : QModelIndex());
    rows_ = permuted(rows_, sorted);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void SongListModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void SongListModel::appendRecords(std::vector<SongRecord> records) {
    if (records.empty()) return;
    if (rows_.empty()) {
        // Filling an empty list is a reset: the rows arrive sorted and views rebuild once.
        beginResetModel();
        rows_ = permuted(records, sortedOrder(records));
        endResetModel();
        return;
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(records.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
    endInsertRows();
    if (sortColumn_ >= 0) sort(sortColumn_, sortOrder_);
}

QString SongListModel::columnTitle(int column) {
    switch (column) {
        case SongTitle: return QStringLiteral("Song Title");
        case Group: return QStringLiteral("Group");
        case SaveTime: return QStringLiteral("Save Time");
        case GroupId: return QStringLiteral("Group ID");
        case SongId: return QStringLiteral("Song ID");
        default: return {};
    }
}

}  // namespace harbeat
