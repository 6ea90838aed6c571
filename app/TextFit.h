// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <initializer_list>

class QWidget;

// The windows' fixed sizes and places were made for fonts whose lines are
// about as tall as their pixel size. Another Japanese font may need more
// (Noto Sans CJK JP: lines half as tall again, wider full-width signs): the
// sizes and places are then the least a control and its window get. These
// grow a control to its text, keeping the place where the text is drawn, and
// move the controls beside and below it out of its way; where everything
// fits, nothing changes.

// Grows a label, push button or check box until its text fits in its font:
// to the right (to the left for right-aligned text, to both sides for
// centred text), and in height around its middle (downwards for text that
// starts at the top). Returns the growth.
QSize fitToText(QWidget *control);

// Moves the controls down, all by the same amount, until none is less than
// gap pixels below `above`. Returns the amount.
int keepBelow(const QWidget *above, std::initializer_list<QWidget *> controls, int gap);
// Moves the controls to the right, all by the same amount, until none is less
// than gap pixels right of `left`. Returns the amount.
int keepRightOf(const QWidget *left, std::initializer_list<QWidget *> controls, int gap);

// The size a fixed-size window needs: its design size, or more where a child
// comes closer than margin to its right or bottom edge.
QSize grownSize(const QWidget *window, const QSize &designSize, int margin);
