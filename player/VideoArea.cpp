// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/VideoArea.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

VideoArea::VideoArea(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("cardMessage"));
    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("cardName"));
    for (QLabel *label : {m_message, m_name}) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        label->hide();
    }
    QFont big = m_name->font();
    big.setPixelSize(18);
    m_name->setFont(big);
    m_message->setFont(big);
    m_message->setStyleSheet(QStringLiteral("color: #f2c46d;"));
    m_name->setStyleSheet(QStringLiteral("color: #e6ebf0;"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addStretch(1);
    layout->addWidget(m_message);
    layout->addWidget(m_name);
    layout->addStretch(1);
}

void VideoArea::setCard(const QString &message, const QString &name)
{
    m_message->setText(message);
    m_name->setText(name);
    showLabels();
    setAccessibleName(message.isEmpty() ? name : message + QStringLiteral(": ") + name);
}

QString VideoArea::message() const
{
    return m_message->text();
}

QString VideoArea::name() const
{
    return m_name->text();
}

void VideoArea::setCovered(bool covered)
{
    m_covered = covered;
    showLabels();
}

void VideoArea::showLabels()
{
    m_message->setVisible(!m_covered && !m_message->text().isEmpty());
    m_name->setVisible(!m_covered && !m_name->text().isEmpty());
}

void VideoArea::setSurface(QWidget *surface)
{
    m_surface = surface;
    surface->setParent(this);
    surface->setGeometry(rect());
    surface->lower();
}

void VideoArea::paintBackground(QPainter &painter, const QRect &rect)
{
    QLinearGradient calm(0, rect.top(), 0, rect.bottom());
    calm.setColorAt(0.0, QColor(0x2b, 0x34, 0x40));
    calm.setColorAt(1.0, QColor(0x17, 0x1c, 0x24));
    painter.fillRect(rect, calm);
}

void VideoArea::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(painter, rect());
}

void VideoArea::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_surface) m_surface->setGeometry(rect());
}
