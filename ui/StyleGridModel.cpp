#include "StyleGridModel.h"

StyleGridModel::StyleGridModel(int rowCount, QStringList headers, CellLookup lookup, QObject *parent)
    : QAbstractTableModel(parent)
    , m_rowCount(rowCount)
    , m_headers(std::move(headers))
    , m_lookup(std::move(lookup))
{}

int StyleGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int StyleGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_headers.size();
}

QVariant StyleGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (index.column() == 0) {
        if (role != Qt::CheckStateRole)
            return {};
        return m_lookup(0, index.row()).toBool() ? Qt::Checked : Qt::Unchecked;
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_lookup(index.column(), index.row());
    return {};
}

QVariant StyleGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags StyleGridModel::flags(const QModelIndex &index) const
{
    // neither editable nor user-checkable: a click must not change a check behind the window's back
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void StyleGridModel::rowsChanged(int first, int last)
{
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}
