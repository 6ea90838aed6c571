// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/ListenedRanges.h"

#include <QList>
#include <QPair>
#include <QSlider>
#include <QString>

#include <optional>

// The control bar's seek bar: a slider over the medium's length (in tenths
// of a second) that also shows, along its groove, the stretches already
// listened to, the A-B repeat's stretch, small ticks for the chapters and
// the recorded positions, and thin marks for a search's matches. Its tooltip
// names the time under the pointer, the chapter there and a recorded
// position's comment; a click on a recorded position's tick asks to go
// there.
class SeekBar : public QSlider
{
    Q_OBJECT

public:
    static constexpr int Scale = 10; // slider steps per second

    struct Tick {
        double time = 0.0;
        QString text; // a chapter's title, a recorded position's comment
    };
    using Range = ListenedRange;

    explicit SeekBar(QWidget *parent = nullptr);

    // The medium's length; 0: unknown or nothing loaded.
    void setLength(double seconds);
    double length() const { return m_length; }
    void setChapters(const QList<Tick> &chapters);
    void setMarks(const QList<Tick> &marks);
    void setListened(const QList<Range> &ranges);
    void setRepeat(std::optional<Range> stretch);
    // The times a search found: thin marks across the groove, one per pixel
    // column that holds any (worked out again only when the times, the length
    // or the bar's size change).
    void setFound(QList<double> times);
    const QList<double> &found() const { return m_found; }
    const QList<Tick> &chapters() const { return m_chapters; }
    const QList<Tick> &marks() const { return m_marks; }
    const QList<Range> &listened() const { return m_listened; }

    // The time under a point of the bar, and the x of a time.
    double timeAt(int x) const;
    int xOf(double seconds) const;
    // The recorded position whose tick lies under x, if any.
    std::optional<Tick> markAt(int x) const;
    // The text of the tooltip at x.
    QString toolTipAt(int x) const;

signals:
    void markClicked(double seconds);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect groove() const;
    // The found marks' columns, runs of neighbours merged: [first, last].
    const QList<QPair<int, int>> &foundRuns(const QRect &g) const;

    double m_length = 0.0;
    QList<Tick> m_chapters;
    QList<Tick> m_marks;
    QList<double> m_found;
    mutable QList<QPair<int, int>> m_foundRuns;
    mutable QRect m_runsGroove; // what the runs were worked out for
    mutable double m_runsLength = -1.0;
    QList<Range> m_listened;
    std::optional<Range> m_repeat;
};
