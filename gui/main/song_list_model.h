// The rows of the song list `lstSongs`: a table model of song records and the sort proxy that
// orders them by the text of one column. Built to stay fast with 100,000 rows.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QSortFilterProxyModel>
#include <array>
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

    // The text of one cell, as shown.
    QString cellText(int row, int column) const;
    const SongRecord &record(int row) const { return rows_[static_cast<std::size_t>(row)]; }
    // The text the list sorts by: the cell's text in folded letter case.
    const QString &sortKey(int row, int column) const;

    // The icon every row shows before its title.
    void setRowIcon(const QIcon &icon) { rowIcon_ = icon; }

    void clear();
    void appendRecords(std::vector<SongRecord> records);

    static QString columnTitle(int column);

private:
    std::vector<SongRecord> rows_;
    QIcon rowIcon_;
    // Sort keys of each column, made for all rows at the first sort by that column and dropped
    // when the rows change: a sort of 100,000 rows then compares plain texts.
    mutable std::array<std::vector<QString>, ColumnCount> sortKeys_;
};

// Orders the rows ascending by the text of the sort column, ignoring letter case; rows with equal
// text keep their order.
class SongSortProxy final : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;
};

}  // namespace harbeat
