#include "WindowPlacement.h"

#include <algorithm>

QRect besideWindow(const QRect &firstFrame, const QRect &available, const QSize &preferred,
                   const QSize &minimum)
{
    const int height = std::min(preferred.height(), available.height());
    const int top = std::clamp(firstFrame.top(), available.top(), available.bottom() + 1 - height);
    const int rightRoom = available.right() - firstFrame.right();
    const int leftRoom = firstFrame.left() - available.left();
    if (rightRoom >= preferred.width())
        return {firstFrame.right() + 1, top, preferred.width(), height};
    if (leftRoom >= preferred.width())
        return {firstFrame.left() - preferred.width(), top, preferred.width(), height};
    if (std::max(rightRoom, leftRoom) >= minimum.width()) {
        if (rightRoom >= leftRoom)
            return {firstFrame.right() + 1, top, rightRoom, height};
        return {available.left(), top, leftRoom, height};
    }
    const int width = std::min(preferred.width(), available.width());
    return {available.right() + 1 - width, available.top(), width,
            std::min(preferred.height(), available.height())};
}
