#include "WindowPlacement.h"

#include <algorithm>

QSize fittedClientSize(const QSize &wanted, const QSize &minimum, const QMargins &frame,
                       const QRect &available)
{
    const QSize room = available.size().shrunkBy(frame);
    return wanted.boundedTo(room).expandedTo(minimum);
}

QRect keptWithin(const QRect &frame, const QRect &available)
{
    const QSize size = frame.size().boundedTo(available.size());
    const int left = std::clamp(frame.left(), available.left(), available.right() + 1 - size.width());
    const int top = std::clamp(frame.top(), available.top(), available.bottom() + 1 - size.height());
    return {QPoint(left, top), size};
}

QRect centredOn(const QSize &frameSize, const QRect &on, const QRect &available)
{
    QRect frame(QPoint(0, 0), frameSize);
    frame.moveCenter(on.center());
    return keptWithin(frame, available);
}

PairPlacement besideWindow(const QRect &firstFrame, const QRect &available, const QSize &preferred,
                           int neededWidth)
{
    const QRect first = keptWithin(firstFrame, available);
    const int height = std::min(preferred.height(), available.height());
    const int top = std::clamp(first.top(), available.top(), available.bottom() + 1 - height);
    const int rightRoom = available.right() - first.right();
    const int leftRoom = first.left() - available.left();
    const bool rightSide = rightRoom >= leftRoom;
    const auto onRight = [&](const QRect &at, int width) {
        return PairPlacement{at, QRect(at.right() + 1, top, width, height)};
    };
    const auto onLeft = [&](const QRect &at, int width) {
        return PairPlacement{at, QRect(at.left() - width, top, width, height)};
    };
    if (rightRoom >= preferred.width())
        return onRight(first, preferred.width());
    if (leftRoom >= preferred.width())
        return onLeft(first, preferred.width());
    const int needed = std::min(neededWidth, preferred.width());
    if (std::max(rightRoom, leftRoom) >= needed)
        return rightSide ? onRight(first, rightRoom) : onLeft(first, leftRoom);
    const int width = std::min(preferred.width(), available.width() - first.width());
    if (width >= needed) {
        // the first window moves aside just as far as the second needs
        const int shift = width - (rightSide ? rightRoom : leftRoom);
        return rightSide ? onRight(first.translated(-shift, 0), width)
                         : onLeft(first.translated(shift, 0), width);
    }
    // too narrow for both: the second overlaps the first as little as its content allows
    const int squeezed = std::min(std::max(needed, std::max(rightRoom, leftRoom)), available.width());
    QRect moved = first;
    if (rightSide) {
        moved.moveLeft(available.left());
        return {moved, QRect(available.right() + 1 - squeezed, top, squeezed, height)};
    }
    moved.moveRight(available.right());
    return {moved, QRect(available.left(), top, squeezed, height)};
}
