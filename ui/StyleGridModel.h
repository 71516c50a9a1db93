#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QVector>

#include <functional>

// The option grid's view of the cell table: every cell is looked up when the view asks for it. The
// check column shows a check box the view cannot toggle; the window inverts checks on selection.
class StyleGridModel : public QAbstractTableModel
{
public:
    using CellLookup = std::function<QVariant(int column, int row)>;

    // How a row is drawn beyond its cells: dimmed when its option does nothing, and a tooltip that
    // says why (empty: the cell's own text).
    struct RowShade
    {
        bool dimmed = false;
        QString tooltip;
    };

    StyleGridModel(int rowCount, QStringList headers, CellLookup lookup, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Tells the view that the cells of these rows have new values.
    void rowsChanged(int first, int last);
    // Replaces every row's shade; cell texts stay as they are.
    void setRowShades(const QVector<RowShade> &shades);
    RowShade rowShade(int row) const;

private:
    int m_rowCount;
    QStringList m_headers;
    CellLookup m_lookup;
    QVector<RowShade> m_shades;
};

// Draws the grid's cells without the focus frame of the current cell: the whole current row shows as
// selected, and a frame around the check column's empty text only looked like a stray box beside the
// check box.
class StyleGridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

// The grid's column header, measured in the font it is drawn in. QHeaderView measures every section in
// bold, for the sections it highlights; this header highlights none, and the bold faces (a Chinese one
// among them) would otherwise be loaded at every start only to measure the header's height.
class StyleGridHeader : public QHeaderView
{
public:
    explicit StyleGridHeader(QWidget *parent = nullptr);

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override;
};
