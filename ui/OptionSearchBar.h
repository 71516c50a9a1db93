#pragma once

#include "IndentOptions.h"
#include "StyleGridModel.h"

#include <QStyledItemDelegate>
#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;

// The search field, the topic chooser and the count of rows shown, for the menu bar's corner. It only
// says what the user asks for; the window decides which rows that shows.
class OptionSearchBar : public QWidget
{
    Q_OBJECT

public:
    explicit OptionSearchBar(QWidget *parent = nullptr);

    QString searchText() const;
    std::optional<OptionTopic> topic() const; // none: "全部"
    void showCount(int shown, int total);
    // Puts the cursor into the search field with its text selected.
    void focusSearch();

    QLineEdit *searchField() const { return m_search; }
    QComboBox *topicChooser() const { return m_topics; }
    QLabel *countLabel() const { return m_count; }

signals:
    void filterChanged();
    // Down or Return in the search field: the user wants to go on in the grid.
    void leaveForGrid();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QComboBox *m_topics;
    QLineEdit *m_search;
    QLabel *m_count;
};

// Marks the words of the search text where they stand in a cell, over what the style draws.
class SearchHighlightDelegate : public StyleGridDelegate
{
public:
    using StyleGridDelegate::StyleGridDelegate;

    void setSearchText(const QString &text) { m_searchText = text; }
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    QString m_searchText;
};
