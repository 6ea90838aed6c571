// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit6.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>

#include <limits>
#include <vector>

TForm6 *Form6 = nullptr;
int PrevItemIndex = -1;

// ---------------------------------------------------------------------------
// The pure rules

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

void moveEntry(QStringList &entries, int from, int to, int *selected)
{
    if (from == to) return;
    if (selected && *selected >= 0) {
        if (*selected == from) {
            *selected = -1;
        } else {
            if (*selected > from) --*selected;
            if (*selected >= to) ++*selected;
        }
    }
    entries.move(from, to);
}

int shuffleDraw(quint64 seed, int n)
{
    // A splitmix64 generator seeded afresh (cheap to seed, unlike a
    // Mersenne twister, which matters with one seeding per draw), and an
    // unbiased reduction to 0 .. n - 1 by rejection.
    quint64 state = seed;
    auto next = [&state] {
        quint64 z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    const auto range = static_cast<quint64>(n);
    const quint64 top = std::numeric_limits<quint64>::max();
    const quint64 limit = top - top % range;
    quint64 value;
    do {
        value = next();
    } while (value >= limit);
    return static_cast<int>(value % range);
}

namespace
{

// A sequence of entry numbers kept as an implicit treap: removing the entry
// at one position and inserting it at another costs O(log n), where moving
// it in an array costs O(n).
class Sequence
{
public:
    explicit Sequence(int n) : m_left(n, -1), m_right(n, -1), m_size(n, 1), m_priority(n)
    {
        quint64 state = 0x9E3779B97F4A7C15ull;
        for (int i = 0; i < n; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            m_priority[i] = static_cast<quint32>(state >> 32);
        }
        // Builds the tree of 0..n-1 in order in O(n) (right spine on a stack).
        std::vector<int> spine;
        for (int i = 0; i < n; ++i) {
            int last = -1;
            while (!spine.empty() && m_priority[spine.back()] < m_priority[i]) {
                last = spine.back();
                spine.pop_back();
            }
            m_left[i] = last;
            if (!spine.empty()) m_right[spine.back()] = i;
            spine.push_back(i);
        }
        m_root = spine.empty() ? -1 : spine.front();
        fixSizes(m_root);
    }

    // Moves the entry at position from to position to; returns its number.
    int move(int from, int to)
    {
        int a, rest, m, c;
        split(m_root, from, a, rest);
        split(rest, 1, m, c);
        m_root = merge(a, c);
        split(m_root, to, a, c);
        m_root = merge(merge(a, m), c);
        return m;
    }

    std::vector<int> order() const
    {
        std::vector<int> out;
        out.reserve(m_size.size());
        std::vector<int> stack;
        int node = m_root;
        while (node >= 0 || !stack.empty()) {
            while (node >= 0) {
                stack.push_back(node);
                node = m_left[node];
            }
            node = stack.back();
            stack.pop_back();
            out.push_back(node);
            node = m_right[node];
        }
        return out;
    }

private:
    int size(int node) const { return node < 0 ? 0 : m_size[node]; }
    void update(int node) { m_size[node] = 1 + size(m_left[node]) + size(m_right[node]); }

    int fixSizes(int node)
    {
        // Sizes bottom-up, without recursion.
        if (node < 0) return 0;
        std::vector<std::pair<int, bool>> stack{{node, false}};
        while (!stack.empty()) {
            auto [n, visited] = stack.back();
            stack.pop_back();
            if (visited) {
                update(n);
                continue;
            }
            stack.push_back({n, true});
            if (m_left[n] >= 0) stack.push_back({m_left[n], false});
            if (m_right[n] >= 0) stack.push_back({m_right[n], false});
        }
        return m_size[node];
    }

    // Splits t into its first k entries (a) and the rest (b).
    void split(int t, int k, int &a, int &b)
    {
        if (t < 0) {
            a = b = -1;
            return;
        }
        if (size(m_left[t]) < k) {
            split(m_right[t], k - size(m_left[t]) - 1, m_right[t], b);
            a = t;
        } else {
            split(m_left[t], k, a, m_left[t]);
            b = t;
        }
        update(t);
    }

    int merge(int a, int b)
    {
        if (a < 0) return b;
        if (b < 0) return a;
        if (m_priority[a] > m_priority[b]) {
            m_right[a] = merge(m_right[a], b);
            update(a);
            return a;
        }
        m_left[b] = merge(a, m_left[b]);
        update(b);
        return b;
    }

    std::vector<int> m_left, m_right, m_size;
    std::vector<quint32> m_priority;
    int m_root = -1;
};

} // namespace

QStringList shuffleEntries(const QStringList &entries, const std::function<quint64()> &nextSeed,
                           int *selected)
{
    const int n = static_cast<int>(entries.size());
    int selectedEntry = selected ? *selected : -1;
    Sequence sequence(n);
    for (int i = 0; i < n; ++i) {
        const int j = shuffleDraw(nextSeed(), n);
        if (j == i) continue;
        // Removing the selected entry, as the first half of the move, loses
        // the selection.
        if (sequence.move(i, j) == selectedEntry) selectedEntry = -1;
    }
    QStringList out;
    out.reserve(n);
    int newSelected = -1;
    const std::vector<int> order = sequence.order();
    for (int pos = 0; pos < n; ++pos) {
        out << entries.at(order[static_cast<size_t>(pos)]);
        if (order[static_cast<size_t>(pos)] == selectedEntry) newSelected = pos;
    }
    if (selected) *selected = newSelected;
    return out;
}

// ---------------------------------------------------------------------------
// The list box

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
    auto *data = new QMimeData;
    data->setData(dragMimeType(), QByteArray());
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
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
    const QMimeData *data = event->mimeData();
    if (data && data->hasFormat(dragMimeType())) {
        m_dragSource = event->source();
        if (m_owner->ListBox1DragOver(event->source(), event->position().toPoint().x(),
                                      event->position().toPoint().y()))
            event->acceptProposedAction();
        else
            event->ignore();
        return;
    }
    m_dragSource = nullptr;
    if (!droppedLocalFiles(data).isEmpty())
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
    const QMimeData *data = event->mimeData();
    m_dragSource = nullptr;
    if (data && data->hasFormat(dragMimeType())) {
        event->acceptProposedAction();
        m_owner->ListBox1DragDrop(event->source(), event->position().toPoint().x(),
                                  event->position().toPoint().y());
        return;
    }
    const QStringList names = droppedLocalFiles(data);
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

void DrawMoveLine(PlaylistBox *ListBox, int Index)
{
    if (Index < 0 || Index >= ListBox->count()) return;
    const QRect rect = ListBox->visualItemRect(ListBox->item(Index));
    ListBox->xorLine(moveLineGeometry(rect, ListBox->width(), selectedRow(ListBox), Index));
}

// ---------------------------------------------------------------------------
// The window

namespace
{

const QString kListFilter = QStringLiteral("テキストファイル(*.txt);;すべてのファイル(*)");

// Layout at creation; the window grows from there.
constexpr int kClientWidth = 655;
constexpr int kClientHeight = 341;

void layoutControls(TForm6 *form, const QSize &client);

} // namespace

TForm6::TForm6(MainWindowHost &host, QWidget *parent) : QWidget(parent, Qt::Tool), m_host(host)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("プレイリスト"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));

    Label1 = new QLabel(QStringLiteral("ファイル名をダブルクリックすると再生を開始します。"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12, true));
    Label1->move(12, 11);
    Label1->adjustSize();

    ListBox1 = new PlaylistBox(this, this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));

    auto button = [this](const char *name, const QString &caption, void (TForm6::*handler)(),
                         QWidget *parent) {
        auto *b = new QPushButton(caption, parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    Button5 = button("Button5", QStringLiteral("追加..."), &TForm6::Button5Click, this);
    Button1 = button("Button1", QStringLiteral("▲"), &TForm6::Button1Click, this);
    Button2 = button("Button2", QStringLiteral("▼"), &TForm6::Button2Click, this);
    Button4 = button("Button4", QStringLiteral("消去"), &TForm6::Button4Click, this);
    Button3 = button("Button3", QStringLiteral("クリア..."), &TForm6::Button3Click, this);
    Button6 = button("Button6", QStringLiteral("開く..."), &TForm6::Button6Click, this);
    Button7 = button("Button7", QStringLiteral("保存..."), &TForm6::Button7Click, this);
    Button9 = button("Button9", QStringLiteral("閉じる"), &TForm6::Button9Click, this);

    GroupBox1 = new QGroupBox(QStringLiteral("オプション"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Button8 =
        button("Button8", QStringLiteral("シャッフル(&S)..."), &TForm6::Button8Click, GroupBox1);
    Button8->setGeometry(20, 17, 109, 25);

    m_measureTimer = new QTimer(this);
    m_measureTimer->setSingleShot(true);
    m_measureTimer->setInterval(0);
    connect(m_measureTimer, &QTimer::timeout, this, [this] {
        if (m_maxWidthValid) return;
        if (!measureWidths(8'000'000)) {
            m_measureTimer->start();
            return;
        }
        // The extent of an addition made while the list was measured.
        if (m_extentPending) {
            m_extentPending = false;
            ListBox1->setHorizontalExtent(m_maxWidth + 30);
        }
    });

    resize(kClientWidth, kClientHeight);
    layoutControls(this, QSize(kClientWidth, kClientHeight));
}

namespace
{

// The list follows all four edges, the right-hand buttons keep their
// distance to the right edge, the frame follows left, right and bottom.
void layoutControls(TForm6 *form, const QSize &client)
{
    const int dx = client.width() - kClientWidth;
    const int dy = client.height() - kClientHeight;
    form->ListBox1->setGeometry(8, 32, std::max(0, 583 + dx), std::max(0, 237 + dy));
    const int x = 597 + dx;
    const std::pair<QPushButton *, int> column[] = {
        {form->Button5, 32},  {form->Button1, 72},  {form->Button2, 99},  {form->Button4, 138},
        {form->Button3, 165}, {form->Button6, 204}, {form->Button7, 231}, {form->Button9, 266},
    };
    for (const auto &[b, y] : column)
        b->setGeometry(x, y, 50, 25);
    form->GroupBox1->setGeometry(12, 279 + dy, std::max(0, 579 + dx), 50);
}

} // namespace

void TForm6::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls(this, event->size());
}

void TForm6::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    // Centred on the screen each time it is shown.
    centreOnScreen(this);
}

void TForm6::FormCreate()
{
    // A "Playlist.txt" that cannot be read is reported; the list starts
    // empty and the program goes on.
    runHandler(m_host, nullptr, [&] {
        const QString path = m_host.playlistPath();
        if (!QFile::exists(path)) return;
        const ListText text = readListFile(path);
        setEntries(text.lines);
        encoding = text.encoding;
    });
}

QStringList TForm6::entries() const
{
    QStringList list;
    const int n = ListBox1->count();
    list.reserve(n);
    for (int i = 0; i < n; ++i)
        list << ListBox1->item(i)->text();
    return list;
}

int TForm6::count() const
{
    return ListBox1->count();
}

int TForm6::itemIndex() const
{
    return selectedRow(ListBox1);
}

void TForm6::setItemIndex(int index)
{
    if (index < 0 || index >= ListBox1->count())
        ListBox1->setCurrentRow(-1);
    else
        ListBox1->setCurrentRow(index);
}

void TForm6::setEntries(const QStringList &list)
{
    ListBox1->clear();
    ListBox1->addItems(list);
    entriesReplaced();
}

int TForm6::entryWidth(const QString &text) const
{
    return QFontMetrics(ListBox1->font()).horizontalAdvance(text);
}

void TForm6::entriesReplaced()
{
    m_maxWidth = 0;
    m_measuredRows = 0;
    m_maxWidthValid = ListBox1->count() == 0;
    if (m_maxWidthValid)
        m_measureTimer->stop();
    else
        m_measureTimer->start();
}

void TForm6::orderChanged()
{
    // A measurement under way starts again: rows may have passed its mark.
    if (!m_maxWidthValid) {
        m_maxWidth = 0;
        m_measuredRows = 0;
    }
}

bool TForm6::measureWidths(qint64 budgetNanoseconds)
{
    QElapsedTimer clock;
    clock.start();
    const QFontMetrics metrics(ListBox1->font());
    const int n = ListBox1->count();
    while (m_measuredRows < n) {
        m_maxWidth =
            std::max(m_maxWidth, metrics.horizontalAdvance(ListBox1->item(m_measuredRows)->text()));
        ++m_measuredRows;
        if (budgetNanoseconds >= 0 && m_measuredRows < n && (m_measuredRows & 31) == 0 &&
            clock.nsecsElapsed() > budgetNanoseconds)
            return false;
    }
    m_maxWidthValid = true;
    return true;
}

void TForm6::appendEntries(const QStringList &names)
{
    if (names.isEmpty()) return;
    // Each file is appended, then the extent is set to the widest entry of
    // the whole list + 30; the widest width is kept between additions.
    ListBox1->addItems(names);
    int widest = 0;
    for (const QString &name : names)
        widest = std::max(widest, entryWidth(name));
    if (m_maxWidthValid) {
        m_maxWidth = std::max(m_maxWidth, widest);
        ListBox1->setHorizontalExtent(m_maxWidth + 30);
        return;
    }
    // The list is still being measured while the program is idle (a long
    // list measured at once would freeze the window for seconds): the extent
    // takes what is known so far and is completed when the measurement ends.
    m_extentPending = true;
    ListBox1->setHorizontalExtent(std::max(m_maxWidth, widest) + 30);
    if (!m_measureTimer->isActive()) m_measureTimer->start();
}

void TForm6::settlePendingExtent()
{
    if (!m_extentPending) return;
    measureWidths(-1);
    m_measureTimer->stop();
    m_extentPending = false;
    ListBox1->setHorizontalExtent(m_maxWidth + 30);
}

void TForm6::Button5Click()
{
    runHandler(m_host, nullptr, [&] {
        const QStringList names = m_host.services().dialogs->openFiles(this, FileDialogOptions{});
        appendEntries(names);
    });
}

void TForm6::DropFiles(const QStringList &names)
{
    // Nothing is played; auto-advance is not touched.
    runHandler(m_host, nullptr, [&] { appendEntries(names); });
}

void TForm6::Button1Click()
{
    const int i = itemIndex();
    if (i < 1) return;
    QListWidgetItem *item = ListBox1->takeItem(i);
    ListBox1->insertItem(i - 1, item);
    ListBox1->setCurrentRow(i - 1);
    orderChanged();
}

void TForm6::Button2Click()
{
    const int i = itemIndex();
    if (i < 0 || i == ListBox1->count() - 1) return;
    QListWidgetItem *item = ListBox1->takeItem(i);
    ListBox1->insertItem(i + 1, item);
    ListBox1->setCurrentRow(i + 1);
    orderChanged();
}

void TForm6::Button4Click()
{
    const int i = itemIndex();
    if (i < 0) return;
    // An addition's extent counts this entry too.
    settlePendingExtent();
    QListWidgetItem *item = ListBox1->takeItem(i);
    ListBox1->setCurrentRow(-1);
    // Another entry at least as wide is left unless this one was the widest.
    if (!m_maxWidthValid || entryWidth(item->text()) >= m_maxWidth) entriesReplaced();
    delete item;
}

void TForm6::Button3Click()
{
    runHandler(m_host, nullptr, [&] {
        const Message m = question(QStringLiteral("クリアの確認"),
                                   QStringLiteral("リストを全て消去してもよろしいですか？"));
        if (m_host.services().dialogs->message(this, m) != MsgResult::Yes) return;
        // The horizontal extent stays as it is.
        settlePendingExtent();
        ListBox1->clear();
        entriesReplaced();
    });
}

void TForm6::Button6Click()
{
    runHandler(m_host, nullptr, [&] {
        FileDialogOptions options;
        options.filter = kListFilter;
        const QString name = m_host.services().dialogs->openFile(this, options);
        if (name.isEmpty()) return;
        // Read whole first: a file that cannot be read leaves the list as
        // it is.
        const ListText text = readListFile(name);
        settlePendingExtent();
        setEntries(text.lines);
        encoding = text.encoding;
    });
}

void TForm6::Button7Click()
{
    runHandler(m_host, nullptr, [&] {
        FileDialogOptions options;
        options.filter = kListFilter;
        options.defaultSuffix = QStringLiteral("txt");
        options.confirmOverwrite = false;
        const QString name = m_host.services().dialogs->saveFile(this, options);
        if (name.isEmpty()) return;
        writeListFile(name, entries(), encoding);
    });
}

void TForm6::Button8Click()
{
    runHandler(m_host, nullptr, [&] {
        if (ListBox1->count() == 0) return;
        const Message m = question(QStringLiteral("シャッフル"),
                                   QStringLiteral("プレイリストを並び替えます。よろしいですか？"));
        if (m_host.services().dialogs->message(this, m) != MsgResult::Yes) return;
        // n single moves, the generator seeded afresh before each draw; done
        // on the texts, then the list is rebuilt once.
        const Clock *clock = m_host.services().clock;
        int selected = itemIndex();
        const QStringList shuffled = shuffleEntries(
            entries(), [clock] { return clock->highResolutionTicks(); }, &selected);
        const bool widthValid = m_maxWidthValid;
        const int width = m_maxWidth;
        setEntries(shuffled);
        if (widthValid) {
            // The same entries in another order: the same widest width.
            m_maxWidth = width;
            m_maxWidthValid = true;
            m_measureTimer->stop();
        }
        if (selected >= 0) setItemIndex(selected);
    });
}

void TForm6::Button9Click()
{
    hide();
}

void TForm6::ListBox1DblClick()
{
    runHandler(m_host, nullptr, [&] {
        const int i = itemIndex();
        if (i < 0) return;
        // No question is asked, whatever the main window's option says.
        m_host.OpenFile(ListBox1->item(i)->text());
        m_host.setAutoAdvance(true);
    });
}

void TForm6::ListBox1StartDrag()
{
    PrevItemIndex = -1;
}

bool TForm6::ListBox1DragOver(QObject *source, int X, int Y)
{
    // Only the list's own entries, and only with an entry selected.
    if (source != ListBox1 || itemIndex() < 0) return false;
    const int target = ListBox1->entryAt(QPoint(X, Y));
    DrawMoveLine(ListBox1, PrevItemIndex);
    DrawMoveLine(ListBox1, target);
    PrevItemIndex = target;
    return true;
}

void TForm6::ListBox1DragLeave(QObject *source)
{
    // Leaving the list: no entry under the mouse.
    if (source != ListBox1 || itemIndex() < 0) return;
    DrawMoveLine(ListBox1, PrevItemIndex);
    PrevItemIndex = -1;
}

void TForm6::ListBox1DragDrop(QObject *source, int X, int Y)
{
    Q_UNUSED(source);
    const int target = ListBox1->entryAt(QPoint(X, Y));
    DrawMoveLine(ListBox1, PrevItemIndex);
    PrevItemIndex = -1;
    const int from = itemIndex();
    if (target >= 0 && from >= 0 && target != from) {
        // The dragged entry takes the target's index; those between shift
        // one place toward its old one.
        QListWidgetItem *item = ListBox1->takeItem(from);
        ListBox1->insertItem(target, item);
        orderChanged();
    }
    ListBox1->setCurrentRow(-1);
}
