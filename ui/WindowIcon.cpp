#include "WindowIcon.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

namespace {

class OnDemandIconEngine : public QIconEngine
{
public:
    explicit OnDemandIconEngine(QMap<int, QString> filesBySize)
        : m_files(std::move(filesBySize))
    {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        Q_UNUSED(state)
        QPixmap shown = normalPixmap(size);
        // greyed or highlighted as the style draws any icon in that mode
        if (mode != QIcon::Normal && !shown.isNull() &&
            qobject_cast<QApplication *>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QApplication::palette();
            shown = QApplication::style()->generatedIconPixmap(mode, shown, &option);
        }
        return shown;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        Q_UNUSED(mode)
        Q_UNUSED(state)
        const int side = nearestSide(qMax(size.width(), size.height()));
        return side <= 0 ? QSize() : QSize(side, side).boundedTo(size);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        QList<QSize> sizes;
        if (mode != QIcon::Normal || state != QIcon::Off)
            return sizes;
        for (const int side : m_files.keys())
            sizes.append(QSize(side, side));
        return sizes;
    }

    QIconEngine *clone() const override { return new OnDemandIconEngine(m_files); }
    QString key() const override { return QStringLiteral("OnDemandIconEngine"); }
    bool isNull() override { return m_files.isEmpty(); }

private:
    QPixmap normalPixmap(const QSize &size)
    {
        const int side = nearestSide(qMax(size.width(), size.height()));
        if (side <= 0)
            return {};
        QPixmap decoded = m_decoded.value(side);
        if (decoded.isNull()) {
            decoded = QPixmap(m_files.value(side));
            m_decoded.insert(side, decoded);
        }
        if (decoded.isNull() || decoded.size() == size)
            return decoded;
        return decoded.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    // the smallest size at least as large as asked for, or the largest there is
    int nearestSide(int wanted) const
    {
        if (m_files.isEmpty())
            return 0;
        const auto atLeast = m_files.lowerBound(wanted);
        return atLeast != m_files.cend() ? atLeast.key() : m_files.lastKey();
    }

    QMap<int, QString> m_files;
    QHash<int, QPixmap> m_decoded;
};

} // namespace

QIcon iconDecodedOnDemand(const QMap<int, QString> &filesBySize)
{
    if (filesBySize.isEmpty())
        return QIcon();
    return QIcon(new OnDemandIconEngine(filesBySize));
}
