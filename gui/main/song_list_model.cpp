#include "main/song_list_model.h"

namespace harbeat {

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

QString SongListModel::cellText(int row, int column) const {
    const SongRecord &song = record(row);
    switch (column) {
        case SongTitle: return song.title;
        case Group: return song.category;
        case SaveTime: return song.date;
        case GroupId: return QStringLiteral("0");
        case SongId: return song.songId;
        default: return {};
    }
}

const QString &SongListModel::sortKey(int row, int column) const {
    std::vector<QString> &keys = sortKeys_[static_cast<std::size_t>(column)];
    if (keys.size() != rows_.size()) {
        keys.clear();
        keys.reserve(rows_.size());
        for (int i = 0; i < rowCount(); ++i) keys.push_back(cellText(i, column).toCaseFolded());
    }
    return keys[static_cast<std::size_t>(row)];
}

void SongListModel::clear() {
    beginResetModel();
    rows_.clear();
    for (std::vector<QString> &keys : sortKeys_) keys.clear();
    endResetModel();
}

void SongListModel::appendRecords(std::vector<SongRecord> records) {
    if (records.empty()) return;
    for (std::vector<QString> &keys : sortKeys_) keys.clear();
    if (rows_.empty()) {
        // Filling an empty list is a reset: views and the sort proxy rebuild once, sorting a
        // whole result in one pass instead of placing row after row.
        beginResetModel();
        rows_ = std::move(records);
        endResetModel();
        return;
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(records.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(records.begin()), std::make_move_iterator(records.end()));
    endInsertRows();
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

bool SongSortProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const {
    const auto *songs = static_cast<const SongListModel *>(sourceModel());
    return songs->cellText(left.row(), left.column())
               .compare(songs->cellText(right.row(), right.column()), Qt::CaseInsensitive) < 0;
}

}  // namespace harbeat
