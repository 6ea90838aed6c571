// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CheckIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

namespace
{

// Draws the picture, and for the On state a green round badge with a white
// tick over its lower right part (green stands out from the blue pictures and
// the menu's highlight), at any size.
class CheckMarkEngine : public QIconEngine
{
public:
    explicit CheckMarkEngine(const QIcon &picture) : m_picture(picture) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        m_picture.paint(painter, rect, Qt::AlignCenter, mode, QIcon::Off);
        if (state != QIcon::On) return;
        const qreal side = std::min(rect.width(), rect.height());
        const qreal size = side * 0.7;
        const QRectF badge(rect.right() + 1 - size, rect.bottom() + 1 - size, size, size);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (mode == QIcon::Disabled) painter->setOpacity(0.5);
        const qreal ring = std::max<qreal>(1.0, side / 16.0);
        painter->setPen(QPen(Qt::white, ring));
        painter->setBrush(QColor(0x1f, 0x9d, 0x3a));
        painter->drawEllipse(badge.adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2));
        QPainterPath tick;
        tick.moveTo(badge.left() + size * 0.26, badge.top() + size * 0.52);
        tick.lineTo(badge.left() + size * 0.44, badge.top() + size * 0.70);
        tick.lineTo(badge.left() + size * 0.76, badge.top() + size * 0.32);
        painter->setPen(QPen(Qt::white, std::max<qreal>(1.5, side / 9.0), Qt::SolidLine,
                             Qt::RoundCap, Qt::RoundJoin));
        painter->setBrush(Qt::NoBrush);
        painter->drawPath(tick);
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }

    QIconEngine *clone() const override { return new CheckMarkEngine(m_picture); }

private:
    QIcon m_picture;
};

} // namespace

QIcon checkableIcon(const QIcon &picture)
{
    return QIcon(new CheckMarkEngine(picture));
}
