// The rows of the song list `lstSongs`: a table model of song records that keeps its rows in the
// order of its sort column. Built to stay fast with 100,000 rows: the model sorts its own rows
// once per fill or header click, comparing texts folded once per row.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <vector>

#include "main/song_results.h"

namespace harbeat {

class SongListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The columns in their order; "Group ID" is always "0" (the first token of a preview line).
    enum Column { SongTitle, Group, SaveTime, GroupId, SongId, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Orders the rows by the text of the column, ignoring letter case ("Save Time" by the date
    // it shows); rows with equal text keep their order. Later fills keep that order. A column of -1 leaves the rows unsorted.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return sortColumn_; }

    // The text of one cell, as shown.
    QString cellText(int row, int column) const;
    const SongRecord &record(int row) const { return rows_[static_cast<std::size_t>(row)]; }

    // The icon every row shows before its title.
    void setRowIcon(const QIcon &icon) { rowIcon_ = icon; }

    void clear();
    // Adds the records; with a sort column set, the whole list is then in that column's order.
    void appendRecords(std::vector<SongRecord> records);

    static QString columnTitle(int column);

private:
    // The rows' order by the sort column: positions into `rows` (stable).
    std::vector<std::size_t> sortedOrder(const std::vector<SongRecord> &rows) const;

    std::vector<SongRecord> rows_;
    QIcon rowIcon_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace harbeat
