// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/StudyLog.h"

#include <QWidget>

// The bar chart of the study log's last days, painted by hand: for each day
// one bar of the content played at 1x, its parts the wall time spent
// listening, the time saved by the speed and the time saved by silence
// skipping, each in its own colour of the palette; a tick on the bar marks
// the content heard for the first time that day. A legend above, a scale in
// minutes on the left, every fifth date below.
class StudyChart : public QWidget
{
    Q_OBJECT

public:
    explicit StudyChart(QWidget *parent = nullptr);
    void setDays(const QList<StudyDay> &days);
    QSize sizeHint() const override { return {640, 220}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QList<StudyDay> m_days;
};

// "1:02:03" (hours not wrapped) for a number of seconds.
QString studyTime(double seconds);
