// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/StudyChart.h"

#include "persist/TimeFormat.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace
{

// The parts' colours, from the palette: readable in a dark and a light one.
struct Colours {
    QColor wall, speed, silence, heard, text, grid;
};

Colours coloursOf(const QPalette &p)
{
    const QColor highlight = p.color(QPalette::Highlight);
    const QColor text = p.color(QPalette::WindowText);
    const QColor base = p.color(QPalette::Window);
    auto mix = [](const QColor &a, const QColor &b, double t) {
        return QColor::fromRgbF(float(a.redF() * (1 - t) + b.redF() * t),
                                float(a.greenF() * (1 - t) + b.greenF() * t),
                                float(a.blueF() * (1 - t) + b.blueF() * t));
    };
    // The speed's part a lighter (on dark: darker) tone of the highlight,
    // silence skipping's a hatched one, so that they differ also without
    // colour.
    return {highlight, mix(highlight, base, 0.55), mix(highlight, text, 0.35), text,
            text,      mix(text, base, 0.8)};
}

QString minutesText(double seconds)
{
    return QStringLiteral("%1分").arg(std::lround(seconds / 60.0));
}

} // namespace

QString studyTime(double seconds)
{
    return formatTime(std::llround(std::max(0.0, seconds)) * 1000);
}

StudyChart::StudyChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("studyChart"));
    setAccessibleName(QStringLiteral("過去30日のグラフ"));
    setMinimumSize(360, 160);
    setFocusPolicy(Qt::TabFocus);
}

void StudyChart::setDays(const QList<StudyDay> &days)
{
    m_days = days;
    // What the bars show, for a screen reader: the days with listening.
    QStringList parts;
    for (const StudyDay &d : days) {
        if (d.figures.playedSeconds <= 0) continue;
        parts << QStringLiteral("%1: 再生 %2、内容 %3、速度で短縮 %4、無音スキップで短縮 %5")
                     .arg(d.date.toString(QStringLiteral("M/d")), studyTime(d.figures.wallSeconds),
                          studyTime(d.figures.heardSeconds), studyTime(d.figures.savedBySpeed),
                          studyTime(d.figures.savedBySilence));
    }
    setAccessibleDescription(parts.isEmpty() ? QStringLiteral("記録はありません")
                                             : parts.join(QStringLiteral("。")));
    update();
}

void StudyChart::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

void StudyChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const Colours c = coloursOf(palette());
    const QFontMetrics fm(font());
    const int line = fm.height();

    // The legend.
    const struct {
        QString text;
        QColor colour;
        bool hatched;
    } legend[] = {
        {QStringLiteral("再生時間"), c.wall, false},
        {QStringLiteral("速度で短縮"), c.speed, false},
        {QStringLiteral("無音スキップで短縮"), c.silence, true},
    };
    int x = 4;
    for (const auto &l : legend) {
        const QRect swatch(x, 4 + (line - 10) / 2, 10, 10);
        painter.fillRect(swatch, l.hatched ? QBrush(l.colour, Qt::BDiagPattern) : QBrush(l.colour));
        painter.setPen(c.text);
        painter.drawRect(swatch.adjusted(0, 0, -1, -1));
        painter.drawText(x + 14, 4 + fm.ascent(), l.text);
        x += 14 + fm.horizontalAdvance(l.text) + 16;
    }
    painter.drawLine(x, 4 + line / 2, x + 12, 4 + line / 2);
    painter.drawText(x + 16, 4 + fm.ascent(), QStringLiteral("初めて聞いた内容"));

    if (m_days.isEmpty()) return;
    double top = 0.0;
    for (const StudyDay &d : m_days)
        top = std::max(top, d.figures.playedSeconds);
    // The scale: a round number of minutes above the highest bar.
    const double steps[] = {5, 10, 15, 30, 60, 120, 180, 240, 360, 480, 720, 1440};
    double step = steps[0];
    for (const double s : steps) {
        step = s;
        if (top / 60.0 / s <= 4) break;
    }
    const double scaleTop = std::max(1.0, std::ceil(top / 60.0 / step)) * step * 60.0;

    const int left = fm.horizontalAdvance(QStringLiteral("0000分")) + 8;
    const QRect plot(left, 8 + line * 2, width() - left - 8, height() - 8 - line * 2 - line - 8);
    if (plot.width() < 30 || plot.height() < 30) return;
    auto yOf = [&](double seconds) {
        return plot.bottom() - int(std::lround(seconds / scaleTop * plot.height()));
    };
    for (double s = 0; s <= scaleTop + 1; s += step * 60.0) {
        const int y = yOf(s);
        painter.setPen(c.grid);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(c.text);
        painter.drawText(QRect(0, y - line / 2, left - 4, line), Qt::AlignRight | Qt::AlignVCenter,
                         minutesText(s));
    }

    const int n = int(m_days.size());
    const double slot = double(plot.width()) / n;
    const int barWidth = std::max(2, int(slot * 0.7));
    for (int i = 0; i < n; ++i) {
        const StudyFigures &f = m_days.at(i).figures;
        const int bx = plot.left() + int(slot * i + (slot - barWidth) / 2);
        double at = 0.0;
        const struct {
            double seconds;
            QBrush brush;
        } parts[] = {{f.wallSeconds, QBrush(c.wall)},
                     {f.savedBySpeed, QBrush(c.speed)},
                     {f.savedBySilence, QBrush(c.silence, Qt::BDiagPattern)}};
        for (const auto &part : parts) {
            if (part.seconds <= 0) continue;
            const int y1 = yOf(at), y2 = yOf(at + part.seconds);
            painter.fillRect(QRect(bx, y2, barWidth, std::max(1, y1 - y2)), part.brush);
            at += part.seconds;
        }
        if (f.heardSeconds > 0) {
            painter.setPen(QPen(c.heard, 2));
            const int y = yOf(f.heardSeconds);
            painter.drawLine(bx - 1, y, bx + barWidth, y);
        }
        if (i % 5 == (n - 1) % 5) {
            painter.setPen(c.text);
            painter.drawText(
                QRect(int(plot.left() + slot * i + slot / 2) - 30, plot.bottom() + 4, 60, line),
                Qt::AlignHCenter | Qt::AlignTop, m_days.at(i).date.toString(QStringLiteral("M/d")));
        }
    }
    painter.setPen(c.text);
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
}
