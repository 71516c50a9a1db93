#include "OptionSearchBar.h"

#include "OptionSearch.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

OptionSearchBar::OptionSearchBar(QWidget *parent)
    : QWidget(parent)
    , m_topics(new QComboBox(this))
    , m_search(new QLineEdit(this))
    , m_count(new QLabel(this))
{
    setObjectName(QStringLiteral("OptionSearchBar"));
    m_topics->setObjectName(QStringLiteral("TopicBox"));
    m_search->setObjectName(QStringLiteral("SearchEdit"));
    m_count->setObjectName(QStringLiteral("SearchCountLabel"));

    m_topics->addItem(QString::fromUtf8("全部"));
    const std::array<int, OptionTopicCount> counts = rowsPerTopic();
    for (int topic = 0; topic < OptionTopicCount; ++topic) {
        m_topics->addItem(
            QStringLiteral("%1 (%2)").arg(topicName(OptionTopic(topic))).arg(counts[size_t(topic)]), topic);
    }
    m_topics->setToolTip(QString::fromUtf8("按 indent 手册的主题筛选参数"));
    m_search->setPlaceholderText(QString::fromUtf8("搜索参数 (Ctrl+K)"));
    m_search->setToolTip(QString::fromUtf8("按参数名、长参数名、说明或数字筛选；Esc 清除"));
    m_search->setClearButtonEnabled(true);
    m_search->setFixedWidth(140);
    m_topics->setMaximumWidth(110);
    m_search->installEventFilter(this);
    m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(QStringLiteral("93 / 93")) + 8);
    m_count->setAlignment(Qt::AlignCenter);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 1, 4, 1);
    layout->setSpacing(4);
    layout->addWidget(m_topics);
    layout->addWidget(m_search);
    layout->addWidget(m_count);

    connect(m_search, &QLineEdit::textChanged, this, &OptionSearchBar::filterChanged);
    connect(m_topics, &QComboBox::currentIndexChanged, this, &OptionSearchBar::filterChanged);
}

QString OptionSearchBar::searchText() const
{
    return m_search->text();
}

std::optional<OptionTopic> OptionSearchBar::topic() const
{
    const QVariant topic = m_topics->currentData();
    if (!topic.isValid())
        return std::nullopt;
    return OptionTopic(topic.toInt());
}

void OptionSearchBar::showCount(int shown, int total)
{
    m_count->setText(QStringLiteral("%1 / %2").arg(shown).arg(total));
}

void OptionSearchBar::focusSearch()
{
    m_search->setFocus(Qt::ShortcutFocusReason);
    m_search->selectAll();
}

bool OptionSearchBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Escape && !m_search->text().isEmpty()) {
            m_search->clear();
            return true;
        }
        if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit leaveForGrid();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SearchHighlightDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    StyleGridDelegate::paint(painter, option, index);
    if (m_searchText.isEmpty())
        return;
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    if (item.text.isEmpty())
        return;
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QFontMetrics metrics(item.font);
    painter->save();
    painter->setClipRect(textRect);
    for (const auto &span : matchedSpans(item.text, m_searchText)) {
        const int left = textRect.left() + margin + metrics.horizontalAdvance(item.text.left(span.first));
        const int width = metrics.horizontalAdvance(item.text.mid(span.first, span.second));
        painter->fillRect(QRect(left, textRect.top() + 2, width, textRect.height() - 4),
                          QColor(255, 200, 0, 110));
    }
    painter->restore();
}
