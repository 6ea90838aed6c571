// SPDX-License-Identifier: GPL-3.0-or-later
#include "player/SeekBar.h"

#include "player/PlayerControls.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{

constexpr int MarkReach = 4; // pixels either side of a recorded position's tick

// The x of a time on a groove.
int columnOf(const QRect &groove, double length, double seconds)
{
    if (length <= 0.0) return groove.left();
    const double at = std::clamp(seconds / length, 0.0, 1.0);
    return groove.left() + static_cast<int>(std::lround(at * (groove.width() - 1)));
}

} // namespace

SeekBar::SeekBar(QWidget *parent) : QSlider(Qt::Horizontal, parent)
{
    setMouseTracking(true);
    setRange(0, 0);
    // The groove before the handle in a quiet grey, so that the blue of the
    // stretches heard stands out.
    QPalette quiet = palette();
    quiet.setColor(QPalette::Highlight, QColor(0xa8, 0xb0, 0xb8));
    setPalette(quiet);
}

void SeekBar::setLength(double seconds)
{
    const double length = std::isfinite(seconds) && seconds > 0.0 ? seconds : 0.0;
    if (length == m_length) return;
    m_length = length;
    update();
}

void SeekBar::setChapters(const QList<Tick> &chapters)
{
    m_chapters = chapters;
    update();
}

void SeekBar::setFound(QList<double> times)
{
    if (times == m_found) return;
    m_found = std::move(times);
    m_runsLength = -1.0;
    update();
}

const QList<QPair<int, int>> &SeekBar::foundRuns(const QRect &g) const
{
    if (g == m_runsGroove && m_length == m_runsLength) return m_foundRuns;
    m_runsGroove = g;
    m_runsLength = m_length;
    m_foundRuns.clear();
    if (m_found.isEmpty() || g.width() <= 0) return m_foundRuns;
    std::vector<bool> lit(static_cast<size_t>(g.width()), false);
    for (const double time : std::as_const(m_found))
        lit[static_cast<size_t>(columnOf(g, m_length, time) - g.left())] = true;
    for (size_t i = 0; i < lit.size(); ++i) {
        if (!lit[i]) continue;
        const int x = g.left() + static_cast<int>(i);
        if (!m_foundRuns.isEmpty() && m_foundRuns.last().second == x - 1)
            m_foundRuns.last().second = x;
        else
            m_foundRuns.append({x, x});
    }
    return m_foundRuns;
}

void SeekBar::setMarks(const QList<Tick> &marks)
{
    m_marks = marks;
    update();
}

void SeekBar::setListened(const QList<Range> &ranges)
{
    if (ranges == m_listened) return;
    m_listened = ranges;
    // What the shading shows, for a screen reader too.
    QStringList stretches;
    for (const Range &r : ranges)
        stretches << PlayerControls::timeText(r.start, true) + QStringLiteral("-") +
                         PlayerControls::timeText(r.end, true);
    setAccessibleDescription(stretches.isEmpty() ? QString()
                                                 : QStringLiteral("再生済み ") +
                                                       stretches.join(QStringLiteral(", ")));
    update();
}

void SeekBar::setRepeat(std::optional<Range> stretch)
{
    m_repeat = stretch;
    update();
}

QRect SeekBar::groove() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QRect whole =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    // The handle's centre runs from half a handle in to half a handle short.
    const int half = handle.width() / 2;
    return QRect(whole.left() + half, whole.top(), std::max(1, whole.width() - 2 * half),
                 whole.height());
}

int SeekBar::xOf(double seconds) const
{
    return columnOf(groove(), m_length, seconds);
}

double SeekBar::timeAt(int x) const
{
    const QRect g = groove();
    if (m_length <= 0.0 || g.width() <= 1) return 0.0;
    return std::clamp(double(x - g.left()) / (g.width() - 1), 0.0, 1.0) * m_length;
}

std::optional<SeekBar::Tick> SeekBar::markAt(int x) const
{
    if (m_length <= 0.0) return std::nullopt;
    std::optional<Tick> nearest;
    int best = MarkReach + 1;
    for (const Tick &mark : m_marks) {
        const int d = std::abs(xOf(mark.time) - x);
        if (d < best) {
            best = d;
            nearest = mark;
        }
    }
    return nearest;
}

QString SeekBar::toolTipAt(int x) const
{
    if (m_length <= 0.0) return toolTip();
    const double t = timeAt(x);
    QString text = PlayerControls::timeText(t, true);
    // The chapter that the time lies in.
    for (auto it = m_chapters.crbegin(); it != m_chapters.crend(); ++it) {
        if (it->time <= t) {
            if (!it->text.isEmpty()) text += QStringLiteral("  ") + it->text;
            break;
        }
    }
    if (const auto mark = markAt(x)) {
        text += QStringLiteral("\n") + PlayerControls::timeText(mark->time, true);
        if (!mark->text.isEmpty()) text += QStringLiteral("  ") + mark->text;
    }
    return text;
}

bool SeekBar::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        QToolTip::showText(help->globalPos(), toolTipAt(help->pos().x()), this);
        return true;
    }
    return QSlider::event(event);
}

void SeekBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && isEnabled()) {
        if (const auto mark = markAt(event->position().toPoint().x())) {
            emit markClicked(mark->time);
            event->accept();
            return;
        }
    }
    QSlider::mousePressEvent(event);
}

void SeekBar::paintEvent(QPaintEvent *event)
{
    QSlider::paintEvent(event);
    if (m_length <= 0.0) return;
    if (m_listened.isEmpty() && m_chapters.isEmpty() && m_marks.isEmpty() && m_found.isEmpty() &&
        !m_repeat)
        return;
    QPainter painter(this);
    const QRect g = groove();
    const int mid = g.center().y();
    // The stretches listened to: a band over the groove.
    if (!m_listened.isEmpty()) {
        const QColor listened(40, 110, 200, 170);
        for (const Range &r : m_listened) {
            const int left = columnOf(g, m_length, r.start), right = columnOf(g, m_length, r.end);
            painter.fillRect(QRect(QPoint(left, mid - 2), QPoint(std::max(left, right), mid + 2)),
                             listened);
        }
    }
    if (m_repeat) {
        const int left = columnOf(g, m_length, m_repeat->start),
                  right = columnOf(g, m_length, m_repeat->end);
        painter.fillRect(
            QRect(QPoint(std::min(left, right), mid - 4), QPoint(std::max(left, right), mid - 3)),
            QColor(220, 60, 60, 200));
    }
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
    for (const Tick &chapter : m_chapters) {
        const int x = columnOf(g, m_length, chapter.time);
        painter.drawLine(x, g.top(), x, mid - 3);
    }
    // A search's matches: one thin green line per pixel that holds any (a
    // long transcript may match thousands of times), neighbours in one go.
    if (!m_found.isEmpty()) {
        const int bottom = std::min(height() - 1, g.bottom() + 3);
        for (const auto &[first, last] : foundRuns(g))
            painter.fillRect(QRect(QPoint(first, g.top()), QPoint(last, bottom)),
                             QColor(30, 150, 60));
    }
    // A recorded position: a small orange flag across the groove.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(235, 140, 20));
    for (const Tick &mark : m_marks) {
        const int x = columnOf(g, m_length, mark.time);
        painter.drawRect(x - 1, g.top(), 3, g.height());
    }
    painter.end();
    PlayerControls::paintFocusRing(this);
}
