#include "StyleGridModel.h"

#include <QBrush>
#include <QGuiApplication>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionHeader>

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
    const RowShade shade = rowShade(index.row());
    if (role == Qt::ForegroundRole && shade.dimmed)
        return QBrush(QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text));
    if (role == Qt::ToolTipRole && !shade.tooltip.isEmpty())
        return shade.tooltip;
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

void StyleGridModel::setRowShades(const QVector<RowShade> &shades)
{
    m_shades = shades;
    if (m_rowCount > 0)
        emit dataChanged(index(0, 0), index(m_rowCount - 1, columnCount() - 1),
                         {Qt::ForegroundRole, Qt::ToolTipRole});
}

StyleGridModel::RowShade StyleGridModel::rowShade(int row) const
{
    return row >= 0 && row < m_shades.size() ? m_shades.at(row) : RowShade();
}

void StyleGridDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_HasFocus;
}

StyleGridHeader::StyleGridHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setHighlightSections(false);
    setSectionsClickable(false);
}

QSize StyleGridHeader::sectionSizeFromContents(int logicalIndex) const
{
    if (highlightSections() || !model())
        return QHeaderView::sectionSizeFromContents(logicalIndex);
    ensurePolished();
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.section = logicalIndex;
    option.text = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
}
