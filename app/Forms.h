// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/Services.h"

#include <QFont>
#include <QWidget>

// Start-up: creates the seven windows one after the other, TForm1 to TForm7,
// each with its creation handler run to its end before the next; all
// secondary windows stay hidden. Sets the instances Form1 .. Form7.
void createForms(const Services &services);
// Destroys every window (the end of the program, or the end of a test).
void destroyForms();

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

class QPushButton;
// A push button with its object name, caption and place.
QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, int x, int y,
                        int w, int h);
