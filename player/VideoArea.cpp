// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/VideoArea.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace
{

// The word over the picture: an alert for screen readers, which read it
// when it shows and when its name changes.
class NoticeLabel : public QLabel
{
    Q_OBJECT

public:
    explicit NoticeLabel(QWidget *parent) : QLabel(parent)
    {
        static const bool installed = [] {
            QAccessible::installFactory([](const QString &className, QObject *object) {
                return className == QLatin1String("NoticeLabel") && object->isWidgetType()
                           ? static_cast<QAccessibleInterface *>(new QAccessibleWidget(
                                 static_cast<QWidget *>(object), QAccessible::AlertMessage))
                           : nullptr;
            });
            return true;
        }();
        Q_UNUSED(installed);
    }
};

} // namespace

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

    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("startHint"));
    m_hint->setTextFormat(Qt::PlainText);
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);
    m_hint->setStyleSheet(QStringLiteral("color: #c3ccd6;"));
    m_hint->hide();
    m_offer = new QPushButton(this);
    m_offer->setObjectName(QStringLiteral("startOffer"));
    m_offer->setFocusPolicy(Qt::StrongFocus);
    m_offer->setAutoDefault(true); // Enter presses it too
    m_offer->hide();
    connect(m_offer, &QPushButton::clicked, this, &VideoArea::offerTaken);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addStretch(1);
    layout->addWidget(m_message);
    layout->addWidget(m_name);
    layout->addWidget(m_hint);
    layout->addSpacing(12);
    layout->addWidget(m_offer, 0, Qt::AlignHCenter);
    layout->addStretch(1);

    m_notice = new NoticeLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setStyleSheet(
        QStringLiteral("color: #ffffff; background: #1b2129; padding: 6px 12px;"));
    QFont noticeFont = m_notice->font();
    noticeFont.setPixelSize(18);
    m_notice->setFont(noticeFont);
    m_notice->hide();
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    connect(m_noticeTimer, &QTimer::timeout, m_notice, &QWidget::hide);
}

void VideoArea::showNotice(const QString &text)
{
    // What a screen reader speaks: the alert's name, named before the text
    // so that one change is told, not two.
    const bool same = m_notice->accessibleName() == text;
    m_notice->setAccessibleName(text);
    m_notice->setText(text);
    m_notice->adjustSize();
    m_notice->move(16, 16);
    // The engine drawing into a window of its own inside the area (X11,
    // Windows): only a window of the word's own shows above it. Its
    // siblings (the card) stay drawn by the area, under the engine's
    // picture.
    if (testAttribute(Qt::WA_NativeWindow) && !m_notice->testAttribute(Qt::WA_NativeWindow)) {
        const bool siblings =
            QCoreApplication::testAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
        QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings, true);
        m_notice->setAttribute(Qt::WA_NativeWindow);
        QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings, siblings);
    }
    m_notice->raise();
    m_notice->show();
    // The same word again ("速度 1.0x" twice) is told again.
    if (same) {
        QAccessibleEvent changed(m_notice, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
    m_noticeTimer->start(NoticeMs);
}

void VideoArea::setStartHint(const QString &hint, const QString &offer)
{
    m_hint->setText(hint);
    m_offer->setText(offer);
    m_offer->setAccessibleName(offer);
    showLabels();
}

QWidget *VideoArea::offerButton() const
{
    return m_offer;
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
    m_hint->setVisible(!m_covered && !m_hint->text().isEmpty());
    m_offer->setVisible(!m_covered && !m_offer->text().isEmpty());
}

void VideoArea::setSurface(QWidget *surface)
{
    m_surface = surface;
    surface->setParent(this);
    surface->setGeometry(rect());
    surface->lower();
}

void VideoArea::parkSurface(bool parked)
{
    m_parked = parked;
    if (m_surface) m_surface->setGeometry(surfaceRect());
}

QRect VideoArea::surfaceRect() const
{
    return m_parked ? rect().translated(-width() - 8, 0) : rect();
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
    if (m_surface) m_surface->setGeometry(surfaceRect());
}

#include "VideoArea.moc"
