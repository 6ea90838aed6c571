// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/PlaylistBox.h"

#include "app/Forms.h"
#include "lists/Unit6.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

LineEdge moveLineEdge(int selected, int target)
{
    return selected < target ? LineEdge::Bottom : LineEdge::Top;
}

QLine moveLineGeometry(const QRect &itemRect, int listWidth, int selected, int target)
{
    const int y = moveLineEdge(selected, target) == LineEdge::Bottom
                      ? itemRect.y() + itemRect.height()
                      : itemRect.y();
    return QLine(0, y, listWidth, y);
}

namespace
{

// Where the selection goes when the entry at from moves to to.
void followMove(int from, int to, int *selected)
{
    if (from == to || !selected || *selected < 0) return;
    if (*selected == from) {
        *selected = -1;
        return;
    }
    if (*selected > from) --*selected;
    if (*selected >= to) ++*selected;
}

} // namespace

void moveEntry(QStringList &entries, int from, int to, int *selected)
{
    followMove(from, to, selected);
    if (from != to) entries.move(from, to);
}

void moveEntry(QListWidget *list, int from, int to, int *selected)
{
    followMove(from, to, selected);
    if (from != to) list->insertItem(to, list->takeItem(from));
}

namespace
{

int selectedRow(const QListWidget *list)
{
    const QModelIndexList rows = list->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

// All entries have the height of one line of text; their width is the
// horizontal extent, so that the list scrolls sideways exactly that far
// (items are never narrower than the list itself).
class ExtentDelegate : public QStyledItemDelegate
{
public:
    explicit ExtentDelegate(PlaylistBox *box) : QStyledItemDelegate(box), m_box(box) {}

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(m_box->horizontalExtent());
        return size;
    }

private:
    PlaylistBox *m_box;
};

} // namespace

PlaylistBox::PlaylistBox(TForm6 *owner, QWidget *parent) : QListWidget(parent), m_owner(owner)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new ExtentDelegate(this));
    // The list handles its own drags; only files and its own entries are
    // accepted as drops.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

int PlaylistBox::selectedRow() const
{
    return ::selectedRow(this);
}

QString PlaylistBox::entryText(const QListWidgetItem *item)
{
    const QVariant whole = item->data(Qt::UserRole);
    return whole.isValid() ? whole.toString() : item->text();
}

void PlaylistBox::addEntries(const QStringList &texts)
{
    const int first = count();
    QStringList shown;
    shown.reserve(texts.size());
    for (const QString &text : texts)
        shown << shownText(text);
    addItems(shown);
    for (qsizetype i = 0; i < texts.size(); ++i)
        if (texts.at(i).size() > ShownLength)
            item(first + static_cast<int>(i))->setData(Qt::UserRole, texts.at(i));
}

QString PlaylistBox::dragMimeType()
{
    return QStringLiteral("application/x-pelmora-playlist-entry");
}

int PlaylistBox::entryAt(const QPoint &pos) const
{
    if (!viewport()->rect().contains(pos)) return -1;
    const QModelIndex index = indexAt(pos);
    return index.isValid() ? index.row() : -1;
}

void PlaylistBox::setHorizontalExtent(int pixels)
{
    if (pixels == m_extent) return;
    m_extent = pixels;
    // The item size is cached while items are uniform: lay them out anew.
    doItemsLayout();
}

void PlaylistBox::xorLine(const QLine &line)
{
    if (!m_lines.removeOne(line)) m_lines.append(line);
    viewport()->update();
}

void PlaylistBox::clearXorLines()
{
    if (m_lines.isEmpty()) return;
    m_lines.clear();
    viewport()->update();
}

void PlaylistBox::mousePressEvent(QMouseEvent *event)
{
    m_pressedOnEntry = false;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) {
        // A click beside the entries keeps the selection.
        setFocus(Qt::MouseFocusReason);
        return;
    }
    QListWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        m_pressPos = event->position().toPoint();
        m_pressedOnEntry = true;
    }
}

void PlaylistBox::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton) {
        // Dragging with the button held moves the pressed entry; it never
        // drags the selection along.
        if (m_pressedOnEntry && (event->position().toPoint() - m_pressPos).manhattanLength() >=
                                    QApplication::startDragDistance()) {
            m_pressedOnEntry = false;
            startEntryDrag();
        }
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void PlaylistBox::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressedOnEntry = false;
    QListWidget::mouseReleaseEvent(event);
}

void PlaylistBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (indexAt(event->position().toPoint()).isValid()) QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) m_owner->ListBox1DblClick();
}

void PlaylistBox::startEntryDrag()
{
    m_owner->ListBox1StartDrag();
    auto *mime = new QMimeData;
    mime->setData(dragMimeType(), QByteArray());
    auto *drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
    setState(NoState);
    // Whatever ended the drag, no line stays behind.
    clearXorLines();
    PrevItemIndex = -1;
    m_dragSource = nullptr;
}

void PlaylistBox::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void PlaylistBox::dragMoveEvent(QDragMoveEvent *event)
{
    const QMimeData *mime = event->mimeData();
    if (mime && mime->hasFormat(dragMimeType())) {
        m_dragSource = event->source();
        if (m_owner->ListBox1DragOver(event->source(), event->position().toPoint().x(),
                                      event->position().toPoint().y()))
            event->acceptProposedAction();
        else
            event->ignore();
        return;
    }
    m_dragSource = nullptr;
    if (!droppedLocalFiles(mime).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void PlaylistBox::dragLeaveEvent(QDragLeaveEvent *event)
{
    if (m_dragSource) m_owner->ListBox1DragLeave(m_dragSource);
    m_dragSource = nullptr;
    event->accept();
}

void PlaylistBox::dropEvent(QDropEvent *event)
{
    const QMimeData *mime = event->mimeData();
    m_dragSource = nullptr;
    if (mime && mime->hasFormat(dragMimeType())) {
        event->acceptProposedAction();
        m_owner->ListBox1DragDrop(event->source(), event->position().toPoint().x(),
                                  event->position().toPoint().y());
        return;
    }
    const QStringList names = droppedLocalFiles(mime);
    if (names.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_owner->DropFiles(names);
}

void PlaylistBox::paintEvent(QPaintEvent *event)
{
    QListWidget::paintEvent(event);
    if (m_lines.isEmpty()) return;
    QPainter painter(viewport());
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    QPen pen(QColor(255, 255, 255), 3);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    for (const QLine &line : std::as_const(m_lines))
        painter.drawLine(line);
}
