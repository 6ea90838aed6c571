// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QStringList>
#include <QWidget>

// What every window uses: the form font, the flags of a fixed-size window,
// showing a secondary window, centring, dropped files, buttons. The windows
// are made and wired together in app/Flow.h.

// The form font: "ＭＳ Ｐゴシック" and friends, mapped to an installed
// Japanese font where they are missing (registerFontSubstitutes()).
QFont formFont(const QString &family, int pixelSize, bool bold = false);
void registerFontSubstitutes();

// The flags of a window of a fixed size, a dialog or a tool window: a title
// bar with a close button only, nothing to maximise or minimise it with.
Qt::WindowFlags fixedSizeWindowFlags(Qt::WindowType type);

// Shows a secondary window modelessly; one that is shown already is brought
// to the front.
void showModeless(QWidget *window);

class QMimeData;
// The local files of a drop from the file manager, in the order delivered.
QStringList droppedLocalFiles(const QMimeData *data);

// Moves a window to the centre of the screen's work area.
void centreOnScreen(QWidget *window);
// Puts a window at a kept place (its frame's corner and its size) on the
// screen that place lies on, or else the primary one: made no larger than
// that screen's work area (with room for the frame) and moved into it, so
// that every part of it stays in reach, whatever the screen's size or
// scale now. False when no screen holds the place (the window keeps its
// position then, with the size fitted).
bool placeOnScreen(QWidget *window, const QRect &kept);

class QPushButton;
// A push button with its object name, caption and place.
QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, int x, int y,
                        int w, int h);
