// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLine>
#include <QListWidget>

class TForm6;

// --- the pure rules of the playlist, testable without a window ---

// The insertion line of a drag lies on the bottom edge of the target entry
// when the selected entry is dragged downward (selected < target), else on
// its top edge.
enum class LineEdge { Top, Bottom };
LineEdge moveLineEdge(int selected, int target);
// The line for the entry rectangle itemRect, across the whole list width.
QLine moveLineGeometry(const QRect &itemRect, int listWidth, int selected, int target);

// Moves the entry at from so that it ends at index to (remove, then insert);
// nothing changes when from equals to. The selection follows its entry, and
// is lost when the selected entry itself is moved. Indices must be valid.
void moveEntry(QStringList &entries, int from, int to, int *selected = nullptr);
// The same move of a list box's entries.
void moveEntry(QListWidget *list, int from, int to, int *selected = nullptr);

// The playlist's list box: starts drags of its entries by itself (private
// MIME type), accepts files dropped from the file manager, draws the
// insertion line in XOR mode, and keeps a horizontal scroll extent.
class PlaylistBox : public QListWidget
{
    Q_OBJECT

public:
    explicit PlaylistBox(TForm6 *owner, QWidget *parent = nullptr);

    // The selected entry; -1 for none.
    int selectedRow() const;

    // An entry's whole text. The list shows at most ShownLength characters of
    // it, so that a huge entry (a list file of one 10 MB line) neither
    // freezes the painting nor the width measuring.
    static constexpr int ShownLength = 4096;
    static QString entryText(const QListWidgetItem *item);
    static QString shownText(const QString &text) { return text.left(ShownLength); }
    // Appends entries at the end.
    void addEntries(const QStringList &texts);

    // The MIME type of an entry dragged inside the list.
    static QString dragMimeType();

    // The entry under a point of the viewport; -1 below the last entry or
    // outside the list.
    int entryAt(const QPoint &pos) const;

    // The horizontal scroll extent in pixels (0: none set).
    int horizontalExtent() const { return m_extent; }
    void setHorizontalExtent(int pixels);

    // Draws a line in XOR mode: drawing the same line twice removes it.
    void xorLine(const QLine &line);
    // The lines drawn at present.
    const QList<QLine> &xorLines() const { return m_lines; }
    void clearXorLines();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void startEntryDrag();

    TForm6 *m_owner;
    QPoint m_pressPos;
    bool m_pressedOnEntry = false;
    QObject *m_dragSource = nullptr; // the source of the drag over the list, if ours
    int m_extent = 0;
    QList<QLine> m_lines;
};
