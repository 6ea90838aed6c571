// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist window and its auto-advance: editing, list files, drag
// reordering, the shuffle, the advance at each tick, and the playlist state
// kept across the close query and the resume command.
#include "app/Unit1.h"
#include "commands/Unit7.h"
#include "lists/Unit3.h"
#include "lists/Unit6.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace
{

const QStringList kFive{"A", "B", "C", "D", "E"};

// The shuffle done the plain way: n single moves of a list of distinct texts,
// the selection lost as soon as the selected entry itself moves.
QStringList referenceShuffle(QStringList list, quint64 firstSeed, QString *selected)
{
    const int n = static_cast<int>(list.size());
    quint64 seed = firstSeed;
    for (int i = 0; i < n; ++i) {
        const int j = shuffleDraw(seed++, n);
        if (j == i) continue;
        if (selected && list.at(i) == *selected) selected->clear();
        list.move(i, j);
    }
    return list;
}

QPoint centreOf(int row)
{
    return Form6->ListBox1->visualItemRect(Form6->ListBox1->item(row)).center();
}

} // namespace

class TestPlaylist : public QObject
{
    Q_OBJECT

private slots:
    void windowLayoutFollowsTheEdges();
    void moveUpAndDown();
    void deleteAndClear();
    void addSetsTheExtentFromTheWidestEntry();
    void filesDroppedOnTheListAreAppended();
    void shuffleOfAnEmptyListAsksNothing();
    void shuffleDrawIsUniform();
    void shuffleEqualsTheSingleMoves_data();
    void shuffleEqualsTheSingleMoves();
    void shuffleInTheWindow();
    void dragReordersByTheLandingRule();
    void dragIsRefusedFromElsewhereOrWithoutSelection();
    void listFilesKeepTheirLinesAndEncoding();
    void listDialogsShowEachPatternOnce();
    void aListThatCannotBeReadLeavesTheEntries();
    void playlistFileAtStartUp();
    void doubleClickPlaysAndSwitchesAutoAdvanceOn();
    void autoAdvanceOpensTheNextEntryAfterThePause();
    void autoAdvanceStopsAtTheLastEntry();
    void autoAdvanceStartsAtEntryZeroWithoutSelection();
    void autoAdvanceFollowsPlayerStates();
    void noSecondAdvanceWhileThePauseRuns();
    void anotherOpenDuringThePauseEndsTheAdvance();
    void closingWhileAdvancingIsResumed();
    void resumeWithAnIndexBeyondTheList();
    void aHugeEntryKeepsTheWindowResponsive();
    void m3uPlaylistsAreRead();
    void aFolderIsAddedInNaturalOrder();
};

void TestPlaylist::windowLayoutFollowsTheEdges()
{
    TestProgram program;
    program.start();
    QCOMPARE(Form6->size(), QSize(655, 341));
    QCOMPARE(Form6->Button5->geometry(), QRect(597, 32, 50, 25));
    Form6->show();
    QCOMPARE(Form6->ListBox1->geometry(), QRect(8, 32, 583, 237));
    QCOMPARE(Form6->Button9->geometry(), QRect(597, 266, 50, 25));
    Form6->resize(755, 441);
    QCOMPARE(Form6->ListBox1->geometry(), QRect(8, 32, 683, 337));
    QCOMPARE(Form6->Button5->geometry(), QRect(697, 32, 50, 25));
    QCOMPARE(Form6->GroupBox1->geometry(), QRect(12, 379, 679, 50));
    QCOMPARE(Form6->Button8->geometry(), QRect(20, 17, 109, 25));
    QVERIFY(Form6->windowFlags() & Qt::Tool);
    // Only the list takes dropped files.
    QVERIFY(!Form6->acceptDrops());
    QVERIFY(Form6->ListBox1->viewport()->acceptDrops());
}

void TestPlaylist::moveUpAndDown()
{
    TestProgram program;
    program.start();
    Form6->setEntries({"A", "B", "C"});
    Form6->setItemIndex(2);
    Form6->Button1Click();
    QCOMPARE(Form6->entries(), QStringList({"A", "C", "B"}));
    QCOMPARE(Form6->itemIndex(), 1);
    Form6->Button1Click();
    Form6->Button1Click(); // first entry: nothing
    QCOMPARE(Form6->entries(), QStringList({"C", "A", "B"}));
    QCOMPARE(Form6->itemIndex(), 0);

    Form6->Button2Click();
    QCOMPARE(Form6->entries(), QStringList({"A", "C", "B"}));
    QCOMPARE(Form6->itemIndex(), 1);
    Form6->Button2Click();
    Form6->Button2Click(); // last entry: nothing
    QCOMPARE(Form6->entries(), QStringList({"A", "B", "C"}));
    QCOMPARE(Form6->itemIndex(), 2);

    Form6->setItemIndex(-1);
    Form6->Button1Click();
    Form6->Button2Click();
    QCOMPARE(Form6->entries(), QStringList({"A", "B", "C"}));
    QCOMPARE(Form6->itemIndex(), -1);

    // Empty list: both do nothing.
    Form6->setEntries({});
    Form6->Button2Click();
    QCOMPARE(Form6->count(), 0);
}

void TestPlaylist::deleteAndClear()
{
    TestProgram program;
    program.start();
    Form6->setEntries({"A", "B", "C"});
    Form6->setItemIndex(1);
    Form6->Button4Click();
    QCOMPARE(Form6->entries(), QStringList({"A", "C"}));
    QCOMPARE(Form6->itemIndex(), -1);
    Form6->Button4Click(); // no selection: nothing
    QCOMPARE(Form6->count(), 2);
    QVERIFY(program.dialogs.shown.isEmpty());

    // The selection follows its entry when another one goes.
    Form6->setEntries({"A", "B", "C"});
    Form6->ListBox1->setCurrentRow(2);
    delete Form6->ListBox1->takeItem(0);
    QCOMPARE(Form6->itemIndex(), 1);

    // Clear asks; No keeps the list.
    program.dialogs.answers = {MsgResult::No};
    Form6->Button3Click();
    QCOMPARE(program.dialogs.shown.size(), 1);
    const Message m = program.dialogs.shown.constFirst();
    QCOMPARE(m.caption, QStringLiteral("クリアの確認"));
    QCOMPARE(m.text, QStringLiteral("リストを全て消去してもよろしいですか？"));
    QCOMPARE(m.icon, MsgIcon::Question);
    QCOMPARE(m.buttons, MsgButtons::YesNo);
    QCOMPARE(m.defaultButton, MsgResult::No);
    QCOMPARE(Form6->count(), 2);
    program.dialogs.answers = {MsgResult::Yes};
    Form6->Button3Click();
    QCOMPARE(Form6->count(), 0);
    // An empty list is still asked about.
    Form6->Button3Click();
    QCOMPARE(program.dialogs.shown.size(), 3);
}

void TestPlaylist::addSetsTheExtentFromTheWidestEntry()
{
    TestProgram program;
    program.start();
    Form6->show();
    const QFontMetrics metrics(Form6->ListBox1->font());
    const QString wide = QStringLiteral("/media/") + QString(120, u'W') + QStringLiteral(".mp4");
    const QString narrow = QStringLiteral("/m/x.mp4");

    program.dialogs.openNameLists = {{narrow, wide}};
    Form6->Button5Click();
    QCOMPARE(Form6->entries(), QStringList({narrow, wide}));
    QCOMPARE(program.dialogs.fileDialogs.constFirst().filter, QString());
    const int extent = metrics.horizontalAdvance(wide) + 30;
    QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);
    // The list scrolls sideways up to the extent.
    QCoreApplication::processEvents();
    QCOMPARE(Form6->ListBox1->horizontalScrollBar()->maximum(),
             extent - Form6->ListBox1->viewport()->width());

    // The same file twice gives two entries.
    program.dialogs.openNameLists = {{narrow}};
    Form6->Button5Click();
    QCOMPARE(Form6->count(), 3);
    QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);

    // After the widest entry has gone, the next addition measures anew.
    Form6->setItemIndex(1);
    Form6->Button4Click();
    QCOMPARE(Form6->ListBox1->horizontalExtent(), extent); // a delete keeps the extent
    program.dialogs.openNameLists = {{narrow}};
    Form6->Button5Click();
    QCOMPARE(Form6->ListBox1->horizontalExtent(), metrics.horizontalAdvance(narrow) + 30);

    // After a load the widest width is measured while the program is idle;
    // an addition made before that has finished does not wait for it (that
    // would freeze the window with a long list): its extent is completed
    // when the measurement ends.
    QStringList loaded;
    for (int i = 0; i < 3000; ++i)
        loaded << QStringLiteral("/m/%1.mp4").arg(i);
    loaded[1234] = wide;
    Form6->setEntries(loaded);
    QVERIFY(!Form6->widestWidthKnown());
    program.dialogs.openNameLists = {{narrow}};
    Form6->Button5Click();
    QVERIFY(!Form6->widestWidthKnown());
    QTRY_COMPARE(Form6->ListBox1->horizontalExtent(), extent);
    // Removing the widest entry before then: the addition still counted it.
    Form6->setEntries(loaded);
    program.dialogs.openNameLists = {{narrow}};
    Form6->Button5Click();
    Form6->setItemIndex(1234);
    Form6->Button4Click();
    QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);
    QTRY_VERIFY(Form6->widestWidthKnown());
    QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);
    // So does a clear, and a load (the extent is not theirs to change).
    for (int loadNotClear = 0; loadNotClear < 2; ++loadNotClear) {
        Form6->setEntries(loaded);
        program.dialogs.openNameLists = {{narrow}};
        Form6->Button5Click();
        if (loadNotClear) {
            program.writeFile(QStringLiteral("short.txt"), "/m/s.mp4\r\n");
            program.dialogs.openNames = {program.file(QStringLiteral("short.txt"))};
            Form6->Button6Click();
            QCOMPARE(Form6->count(), 1);
        } else {
            program.dialogs.answers = {MsgResult::Yes};
            Form6->Button3Click();
            QCOMPARE(Form6->count(), 0);
        }
        QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);
        QTRY_VERIFY(Form6->widestWidthKnown());
        QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);
    }
    Form6->setEntries(loaded);
    QTRY_VERIFY(Form6->widestWidthKnown());
    program.dialogs.openNameLists = {{narrow}};
    Form6->Button5Click();
    QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);
    // Moving the entries while it is measured starts it again.
    Form6->setEntries(loaded);
    QCoreApplication::processEvents();
    Form6->setItemIndex(1234);
    for (int i = 0; i < 1234; ++i)
        Form6->Button1Click();
    QTRY_VERIFY(Form6->widestWidthKnown());
    program.dialogs.openNameLists = {{narrow}};
    Form6->Button5Click();
    QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);

    // A clear keeps it; a cancelled dialog changes nothing.
    program.dialogs.answers = {MsgResult::Yes};
    Form6->Button3Click();
    Form6->Button5Click();
    QCOMPARE(Form6->count(), 0);
    QCOMPARE(Form6->ListBox1->horizontalExtent(), extent);
}

void TestPlaylist::filesDroppedOnTheListAreAppended()
{
    TestProgram program;
    TForm1 *form = program.start();
    Form6->show();
    Form6->setEntries({"A"});
    const QString longName = QStringLiteral("/") + QString(300, u'x') + QStringLiteral(".mp4");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/m/1.mp4")), QUrl::fromLocalFile(longName),
                  QUrl::fromLocalFile(QStringLiteral("/m/3.mp4"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Form6->ListBox1->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Form6->ListBox1->viewport(), &drop);
    // All files, in order, whole; nothing played, auto-advance untouched.
    QCOMPARE(Form6->entries(), QStringList({"A", "/m/1.mp4", longName, "/m/3.mp4"}));
    QVERIFY(program.player()->calls.isEmpty());
    QVERIFY(!form->Timer2->isActive());
    QCOMPARE(Form6->ListBox1->horizontalExtent(),
             QFontMetrics(Form6->ListBox1->font()).horizontalAdvance(longName) + 30);
}

void TestPlaylist::shuffleOfAnEmptyListAsksNothing()
{
    TestProgram program;
    program.start();
    const quint64 ticks = program.clock.ticks;
    Form6->Button8Click();
    QVERIFY(program.dialogs.shown.isEmpty());
    QCOMPARE(program.clock.ticks, ticks);
}

void TestPlaylist::shuffleDrawIsUniform()
{
    // Consecutive seeds (as a clock gives them) spread evenly over 0 .. n - 1.
    const int n = 7;
    QList<int> counts(n, 0);
    for (quint64 seed = 1000; seed < 1000 + 70000; ++seed) {
        const int j = shuffleDraw(seed, n);
        QVERIFY(j >= 0 && j < n);
        ++counts[j];
    }
    for (int c : counts)
        QVERIFY2(c > 9500 && c < 10500, qPrintable(QString::number(c)));
    QCOMPARE(shuffleDraw(42, 1), 0);
    QCOMPARE(shuffleDraw(42, 100000), shuffleDraw(42, 100000));
}

void TestPlaylist::shuffleEqualsTheSingleMoves_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("selected");
    QTest::addColumn<quint64>("firstSeed");
    QTest::newRow("one") << 1 << 0 << quint64(7);
    QTest::newRow("two") << 2 << 1 << quint64(1);
    QTest::newRow("ten") << 10 << 4 << quint64(99);
    QTest::newRow("many, none selected") << 3000 << -1 << quint64(123456789);
    for (quint64 seed = 1; seed <= 40; ++seed)
        QTest::addRow("seven, seed %llu", seed) << 7 << int(seed % 7) << seed * 1000;
}

void TestPlaylist::shuffleEqualsTheSingleMoves()
{
    QFETCH(int, size);
    QFETCH(int, selected);
    QFETCH(quint64, firstSeed);
    QStringList entries;
    for (int i = 0; i < size; ++i)
        entries << QStringLiteral("e%1").arg(i);
    QString selectedText = selected >= 0 ? entries.at(selected) : QString();
    const QStringList expected = referenceShuffle(entries, firstSeed, &selectedText);

    quint64 seed = firstSeed;
    int index = selected;
    const QStringList result = shuffleEntries(
        entries, [&seed] { return seed++; }, &index);
    QCOMPARE(result, expected);
    QCOMPARE(seed, firstSeed + quint64(size)); // seeded afresh before every draw
    QCOMPARE(index, selectedText.isEmpty() ? -1 : int(expected.indexOf(selectedText)));
    // A permutation.
    QStringList sorted = result;
    std::sort(sorted.begin(), sorted.end());
    QStringList original = entries;
    std::sort(original.begin(), original.end());
    QCOMPARE(sorted, original);
}

void TestPlaylist::shuffleInTheWindow()
{
    TestProgram program;
    program.start();
    QStringList entries;
    for (int i = 0; i < 30; ++i)
        entries << QStringLiteral("/m/%1.mp4").arg(i);
    Form6->setEntries(entries);
    Form6->setItemIndex(5);

    program.dialogs.answers = {MsgResult::No};
    Form6->Button8Click();
    const Message m = program.dialogs.shown.constFirst();
    QCOMPARE(m.caption, QStringLiteral("シャッフル"));
    QCOMPARE(m.text, QStringLiteral("プレイリストを並び替えます。よろしいですか？"));
    QCOMPARE(m.icon, MsgIcon::Question);
    QCOMPARE(m.defaultButton, MsgResult::No);
    QCOMPARE(Form6->entries(), entries);

    // The seeds are the clock's readings, one before each draw.
    QString selectedText = entries.at(5);
    const QStringList expected = referenceShuffle(entries, program.clock.ticks + 1, &selectedText);
    program.dialogs.answers = {MsgResult::Yes};
    Form6->Button8Click();
    QCOMPARE(Form6->entries(), expected);
    QCOMPARE(Form6->itemIndex(), selectedText.isEmpty() ? -1 : int(expected.indexOf(selectedText)));
}

void TestPlaylist::dragReordersByTheLandingRule()
{
    TestProgram program;
    program.start();
    Form6->show();
    QCoreApplication::processEvents();
    PlaylistBox *list = Form6->ListBox1;

    // B onto E: the line on E's bottom edge; B lands below E.
    Form6->setEntries(kFive);
    Form6->setItemIndex(1);
    Form6->ListBox1StartDrag();
    QCOMPARE(PrevItemIndex, -1);
    QVERIFY(Form6->ListBox1DragOver(list, centreOf(2).x(), centreOf(2).y()));
    QCOMPARE(PrevItemIndex, 2);
    QVERIFY(Form6->ListBox1DragOver(list, centreOf(4).x(), centreOf(4).y()));
    const QRect e = list->visualItemRect(list->item(4));
    const int bottom = e.y() + e.height();
    QCOMPARE(list->xorLines(), QList<QLine>{QLine(0, bottom, list->width(), bottom)});
    Form6->ListBox1DragDrop(list, centreOf(4).x(), centreOf(4).y());
    QCOMPARE(Form6->entries(), QStringList({"A", "C", "D", "E", "B"}));
    QCOMPARE(Form6->itemIndex(), -1);
    QVERIFY(list->xorLines().isEmpty());

    // E onto B: the line on B's top edge; E lands above B.
    Form6->setEntries(kFive);
    Form6->setItemIndex(4);
    Form6->ListBox1StartDrag();
    QVERIFY(Form6->ListBox1DragOver(list, centreOf(1).x(), centreOf(1).y()));
    const QRect b = list->visualItemRect(list->item(1));
    QCOMPARE(list->xorLines(), QList<QLine>{QLine(0, b.y(), list->width(), b.y())});
    // Over the same entry again: the line stays (erased and drawn again).
    QVERIFY(Form6->ListBox1DragOver(list, centreOf(1).x(), centreOf(1).y() + 1));
    QCOMPARE(list->xorLines().size(), 1);
    Form6->ListBox1DragDrop(list, centreOf(1).x(), centreOf(1).y());
    QCOMPARE(Form6->entries(), QStringList({"A", "E", "B", "C", "D"}));
    QCOMPARE(Form6->itemIndex(), -1);
    QVERIFY(list->xorLines().isEmpty());

    // Below the last entry: no line, nothing moves.
    Form6->setEntries(kFive);
    Form6->setItemIndex(0);
    const QPoint below(10, list->visualItemRect(list->item(4)).bottom() + 20);
    QVERIFY(below.y() < list->viewport()->height());
    Form6->ListBox1StartDrag();
    QVERIFY(Form6->ListBox1DragOver(list, centreOf(3).x(), centreOf(3).y()));
    QVERIFY(Form6->ListBox1DragOver(list, below.x(), below.y()));
    QCOMPARE(PrevItemIndex, -1);
    QVERIFY(list->xorLines().isEmpty());
    Form6->ListBox1DragDrop(list, below.x(), below.y());
    QCOMPARE(Form6->entries(), kFive);

    // Leaving the list erases the line.
    Form6->setItemIndex(0);
    Form6->ListBox1StartDrag();
    QVERIFY(Form6->ListBox1DragOver(list, centreOf(2).x(), centreOf(2).y()));
    Form6->ListBox1DragLeave(list);
    QVERIFY(list->xorLines().isEmpty());
    QCOMPARE(PrevItemIndex, -1);
}

void TestPlaylist::dragIsRefusedFromElsewhereOrWithoutSelection()
{
    TestProgram program;
    program.start();
    Form6->show();
    QCoreApplication::processEvents();
    PlaylistBox *list = Form6->ListBox1;
    Form6->setEntries(kFive);
    Form6->setItemIndex(1);
    Form6->ListBox1StartDrag();
    QVERIFY(!Form6->ListBox1DragOver(nullptr, centreOf(3).x(), centreOf(3).y()));
    QVERIFY(!Form6->ListBox1DragOver(Form6->Button1, centreOf(3).x(), centreOf(3).y()));
    QVERIFY(list->xorLines().isEmpty());
    Form6->setItemIndex(-1);
    QVERIFY(!Form6->ListBox1DragOver(list, centreOf(3).x(), centreOf(3).y()));
    QVERIFY(list->xorLines().isEmpty());

    // The pure rules.
    QCOMPARE(moveLineEdge(1, 4), LineEdge::Bottom);
    QCOMPARE(moveLineEdge(4, 1), LineEdge::Top);
    QCOMPARE(moveLineEdge(2, 2), LineEdge::Top);
    QStringList entries = kFive;
    int selected = 3;
    moveEntry(entries, 0, 4, &selected);
    QCOMPARE(entries, QStringList({"B", "C", "D", "E", "A"}));
    QCOMPARE(selected, 2); // D followed its entry
    moveEntry(entries, 2, 0, &selected);
    QCOMPARE(selected, -1); // the selected entry itself moved
}

void TestPlaylist::listFilesKeepTheirLinesAndEncoding()
{
    TestProgram program;
    program.start();
    const QString a = program.file(QStringLiteral("a.txt"));
    const QString out = program.file(QStringLiteral("out.txt"));

    // A list never read from a file: code page 932, no mark.
    Form6->setEntries({QStringLiteral("/m/曲1.mp3"), QStringLiteral("/m/b.mp3")});
    program.dialogs.saveNames = {out};
    Form6->Button7Click();
    const FileDialogOptions saveOptions = program.dialogs.fileDialogs.constLast();
    QCOMPARE(saveOptions.filter,
             QStringLiteral("テキストファイル(*.txt) (*.txt);;すべてのファイル (*)"));
    QCOMPARE(saveOptions.defaultSuffix, QStringLiteral("txt"));
    QVERIFY(!saveOptions.confirmOverwrite);
    QCOMPARE(program.readFile(QStringLiteral("out.txt")), QByteArray("/m/\x8b\xc8"
                                                                     "1.mp3\r\n/m/b.mp3\r\n"));

    // A line, an empty line and a last line without a break: three entries.
    program.writeFile(QStringLiteral("a.txt"), "\xEF\xBB\xBFone\r\n\r\nthree");
    program.dialogs.openNames = {a};
    Form6->Button6Click();
    QCOMPARE(program.dialogs.fileDialogs.constLast().filter,
             QStringLiteral("テキストファイル(*.txt) (*.txt);;すべてのファイル (*)"));
    QCOMPARE(Form6->entries(), QStringList({"one", "", "three"}));
    QCOMPARE(Form6->encoding, TextEncoding::Utf8);

    // Saved back in UTF-8 with its mark, also after a clear and new entries.
    program.dialogs.answers = {MsgResult::Yes};
    Form6->Button3Click();
    Form6->DropFiles({QStringLiteral("/m/x.mp3"), QStringLiteral("/m/y.mp3")});
    program.dialogs.saveNames = {out};
    Form6->Button7Click();
    QCOMPARE(program.readFile(QStringLiteral("out.txt")),
             QByteArray("\xEF\xBB\xBF/m/x.mp3\r\n/m/y.mp3\r\n"));
    // The close query writes "Playlist.txt" in it too.
    Form1->FormCloseQuery();
    QCOMPARE(program.readFile(QStringLiteral("Playlist.txt")),
             QByteArray("\xEF\xBB\xBF/m/x.mp3\r\n/m/y.mp3\r\n"));

    // A cancelled dialog changes nothing.
    Form6->Button6Click();
    Form6->Button7Click();
    QCOMPARE(Form6->count(), 2);
}

void TestPlaylist::listDialogsShowEachPatternOnce()
{
    // The options of the playlist's and the position records' list dialogs,
    // shown by the program's own file dialogs.
    TestProgram program;
    program.start();
    Form6->Button7Click();
    Form6->Button6Click();
    Form3->Button2Click();
    Form3->Button4Click();
    QCOMPARE(program.dialogs.fileDialogs.size(), 4);
    const QTemporaryDir runtime; // the program's own lock files stay apart
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const Services real = realServices({});
    for (const FileDialogOptions &options : std::as_const(program.dialogs.fileDialogs)) {
        for (const bool save : {true, false}) {
            QStringList shown;
            QTimer::singleShot(0, [&shown] {
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                if (!dialog) return;
                if (auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
                    for (int i = 0; i < types->count(); ++i)
                        shown << types->itemText(i);
                dialog->reject();
            });
            if (save)
                real.dialogs->saveFile(nullptr, options);
            else
                real.dialogs->openFile(nullptr, options);
            QCOMPARE(shown.size(), 2);
            for (const QString &name : std::as_const(shown))
                QVERIFY2(name.count(QStringLiteral("*.")) <= 1, qPrintable(name));
            QVERIFY2(shown.first().contains(QStringLiteral("*.txt")), qPrintable(shown.first()));
        }
    }
}

void TestPlaylist::aListThatCannotBeReadLeavesTheEntries()
{
    TestProgram program;
    program.start();
    Form6->setEntries({"A", "B"});
    program.dialogs.openNames = {program.file(QStringLiteral("missing.txt"))};
    Form6->Button6Click();
    QCOMPARE(Form6->entries(), QStringList({"A", "B"}));
    QCOMPARE(program.dialogs.shown.size(), 1);
    QCOMPARE(program.dialogs.shown.constFirst().caption, QStringLiteral("pelmora"));
    QCOMPARE(program.dialogs.shown.constFirst().icon, MsgIcon::Error);

    // A place that cannot be written: reported, nothing written.
    QVERIFY(QDir(program.dir()).mkdir(QStringLiteral("sub")));
    program.dialogs.saveNames = {program.file(QStringLiteral("sub"))};
    Form6->Button7Click();
    QCOMPARE(program.dialogs.shown.size(), 2);
    QVERIFY(program.dialogs.shown.constLast().text.contains(QStringLiteral("に書き込めません")));
}

void TestPlaylist::playlistFileAtStartUp()
{
    {
        TestProgram program;
        program.writeFile(QStringLiteral("Playlist.txt"), QByteArray("\xFF\xFE"
                                                                     "a\0\r\0\n\0b\0\r\0\n\0",
                                                                     14));
        program.start();
        QCOMPARE(Form6->entries(), QStringList({"a", "b"}));
        QCOMPARE(Form6->encoding, TextEncoding::Utf16LE);
        QVERIFY(program.dialogs.shown.isEmpty());
    }
    {
        // Cannot be read (a directory): reported; the list starts empty.
        TestProgram program;
        QVERIFY(QDir(program.dir()).mkdir(QStringLiteral("Playlist.txt")));
        TForm1 *form = program.start();
        QVERIFY(form);
        QCOMPARE(Form6->count(), 0);
        QCOMPARE(program.dialogs.shown.size(), 1);
        QCOMPARE(program.dialogs.shown.constFirst().caption, QStringLiteral("pelmora"));
        QVERIFY(Form7); // the windows after it were created all the same
    }
    {
        // A long list is read after the start; a close that never asked for
        // it writes it back whole, in its own encoding.
        TestProgram program;
        QString lines;
        for (int i = 0; i < 20000; ++i)
            lines += QStringLiteral("/m/講義%1.mp3\r\n").arg(i, 5, 10, QLatin1Char('0'));
        const QByteArray text =
            QByteArray("\xFF\xFE", 2) +
            QByteArray(reinterpret_cast<const char *>(lines.utf16()), lines.size() * 2);
        QVERIFY(text.size() > TForm6::DeferredLoadBytes);
        program.writeFile(QStringLiteral("Playlist.txt"), text);
        TForm1 *form = program.start();
        QVERIFY(form->FormCloseQuery());
        QCOMPARE(program.readFile(QStringLiteral("Playlist.txt")), text);
        program.end();
        program.start();
        QCOMPARE(Form6->count(), 20000);
        QCOMPARE(Form6->entries().constLast(), QStringLiteral("/m/講義19999.mp3"));
    }
}

void TestPlaylist::doubleClickPlaysAndSwitchesAutoAdvanceOn()
{
    TestProgram program;
    TForm1 *form = program.start();
    Form6->setEntries({"/m/a.mp4", "/m/b.mp4"});
    Form6->show();
    QCoreApplication::processEvents();

    // No selection: nothing.
    Form6->ListBox1DblClick();
    QVERIFY(program.player()->calls.isEmpty());
    QVERIFY(!form->Timer2->isActive());

    // With the option to confirm ticked, still no question.
    form->C1->setChecked(true);
    QTest::mouseDClick(Form6->ListBox1->viewport(), Qt::LeftButton, Qt::NoModifier, centreOf(1));
    QCOMPARE(Form6->itemIndex(), 1);
    QCOMPARE(program.player()->calls.value(0), QStringLiteral("setURL:/m/b.mp4"));
    QVERIFY(form->Timer2->isActive());
    QVERIFY(program.dialogs.shown.isEmpty());
    QCOMPARE(form->recentList().value(0), QStringLiteral("/m/b.mp4"));
}

void TestPlaylist::autoAdvanceOpensTheNextEntryAfterThePause()
{
    TestProgram program;
    TForm1 *form = program.start();
    FakePlayer *player = program.player();
    Form6->setEntries({"/m/a.mp4", "/m/b.mp4", "/m/c.mp4"});
    player->setMediaDuration(QStringLiteral("/m/a.mp4"), 60.5);
    Form6->setItemIndex(0);
    Form6->ListBox1DblClick();
    player->advance(57.4); // P = 57 < D - 2 = 58
    form->Timer2Timer();
    QCOMPARE(program.delay.pending(), 0);
    player->advance(0.7); // P = 58
    form->Timer2Timer();
    QCOMPARE(program.delay.pending(), 1);
    QCOMPARE(program.delay.lastMilliseconds, 2500);
    // The pause does not block: nothing is opened until it has run, and the
    // medium goes on to its end meanwhile.
    player->advance(5);
    QCOMPARE(player->playState(), int(MediaPlayer::Stopped));
    player->calls.clear();
    program.delay.fire();
    QCOMPARE(player->calls.value(0), QStringLiteral("setURL:/m/b.mp4"));
    QCOMPARE(Form6->itemIndex(), 1);
    QVERIFY(form->Timer2->isActive());

    // The cursor is the selection as it is after the pause.
    player->advance(599);
    form->Timer2Timer();
    Form6->setItemIndex(0);
    player->calls.clear();
    program.delay.fire();
    QCOMPARE(player->calls.value(0), QStringLiteral("setURL:/m/b.mp4"));
    QCOMPARE(Form6->itemIndex(), 1);
}

void TestPlaylist::autoAdvanceStopsAtTheLastEntry()
{
    TestProgram program;
    TForm1 *form = program.start();
    FakePlayer *player = program.player();
    Form6->setEntries({"/m/a.mp4", "/m/b.mp4"});
    Form6->setItemIndex(1);
    Form6->ListBox1DblClick();
    player->advance(598);
    form->Timer2Timer();
    player->calls.clear();
    program.delay.fire();
    QVERIFY(!form->Timer2->isActive());
    QVERIFY(player->calls.isEmpty());
    QCOMPARE(player->playState(), int(MediaPlayer::Playing)); // plays on to its end
}

void TestPlaylist::autoAdvanceStartsAtEntryZeroWithoutSelection()
{
    TestProgram program;
    TForm1 *form = program.start();
    FakePlayer *player = program.player();
    // A medium whose duration reads 0 counts as finished.
    player->setMediaDuration(QStringLiteral("/m/live.mp4"), 0);
    form->OpenFile(QStringLiteral("/m/live.mp4"));
    player->finishLoading();
    Form6->setEntries({"/m/a.mp4", "/m/b.mp4"});
    QCOMPARE(Form6->itemIndex(), -1);
    form->Timer2->start();
    form->Timer2Timer();
    QCOMPARE(program.delay.pending(), 1);
    program.delay.fire();
    QCOMPARE(player->url(), QStringLiteral("/m/a.mp4"));
    QCOMPARE(Form6->itemIndex(), 0);
    QVERIFY(form->Timer2->isActive());

    // An empty list: switched off.
    player->advance(599);
    form->Timer2Timer();
    Form6->setEntries({});
    program.delay.fire();
    QVERIFY(!form->Timer2->isActive());
}

void TestPlaylist::autoAdvanceFollowsPlayerStates()
{
    TestProgram program;
    TForm1 *form = program.start();
    FakePlayer *player = program.player();
    Form6->setEntries({"/m/a.mp4", "/m/b.mp4"});
    Form6->setItemIndex(0);
    Form6->ListBox1DblClick();
    player->advance(10);

    // Paused, even at the end: stays on, nothing happens.
    player->advance(589);
    player->pause();
    form->Timer2Timer();
    QVERIFY(form->Timer2->isActive());
    QCOMPARE(program.delay.pending(), 0);
    // Loading, buffering: stays on.
    player->forceState(MediaPlayer::Buffering);
    form->Timer2Timer();
    QVERIFY(form->Timer2->isActive());
    // Stopped: off at the next tick.
    player->play();
    player->stop();
    QVERIFY(form->Timer2->isActive());
    form->Timer2Timer();
    QVERIFY(!form->Timer2->isActive());

    // An error of the player ends the tick; auto-advance stays on.
    form->Timer2->start();
    player->play();
    player->failOn(QStringLiteral("duration"));
    form->Timer2Timer();
    QVERIFY(form->Timer2->isActive());
    QCOMPARE(program.dialogs.shown.size(), 1);
    QCOMPARE(program.dialogs.shown.constFirst().caption, QStringLiteral("pelmora"));
}

void TestPlaylist::noSecondAdvanceWhileThePauseRuns()
{
    TestProgram program;
    TForm1 *form = program.start();
    FakePlayer *player = program.player();
    Form6->setEntries({"/m/a.mp4", "/m/b.mp4", "/m/c.mp4"});
    Form6->setItemIndex(0);
    Form6->ListBox1DblClick();
    player->advance(599);
    form->Timer2Timer();
    QVERIFY(form->advancePending());
    form->Timer2Timer();
    form->Timer2Timer();
    QCOMPARE(program.delay.pending(), 1);
    player->calls.clear();
    program.delay.fire();
    QVERIFY(!form->advancePending());
    // One advance: entry 1, not entry 2.
    QCOMPARE(player->calls.filter(QStringLiteral("setURL:")),
             QStringList{QStringLiteral("setURL:/m/b.mp4")});
    QCOMPARE(Form6->itemIndex(), 1);

    // Switched off during the pause (another way of opening): nothing opens.
    player->advance(599);
    form->Timer2Timer();
    form->Timer2->stop();
    player->calls.clear();
    program.delay.fire();
    QVERIFY(player->calls.isEmpty());
    QVERIFY(!form->advancePending());
}

void TestPlaylist::anotherOpenDuringThePauseEndsTheAdvance()
{
    TestProgram program;
    TForm1 *form = program.start();
    FakePlayer *player = program.player();
    Form6->setEntries({"/m/a.mp4", "/m/b.mp4", "/m/c.mp4", "/m/d.mp4"});
    Form6->setItemIndex(0);
    Form6->ListBox1DblClick();
    player->advance(599);
    form->Timer2Timer();
    // The user double-clicks entry 2 while the pause runs: that entry plays,
    // and the pause does not skip on to entry 3.
    Form6->setItemIndex(2);
    Form6->ListBox1DblClick();
    player->calls.clear();
    program.delay.fire();
    QVERIFY(player->calls.isEmpty());
    QCOMPARE(player->url(), QStringLiteral("/m/c.mp4"));
    QCOMPARE(Form6->itemIndex(), 2);
    QVERIFY(form->Timer2->isActive());
    // The next advance goes on normally.
    player->advance(599);
    form->Timer2Timer();
    program.delay.fire();
    QCOMPARE(player->url(), QStringLiteral("/m/d.mp4"));
}

void TestPlaylist::closingWhileAdvancingIsResumed()
{
    TestProgram program;
    TForm1 *form = program.start();
    const QStringList entries{"/m/0.mp4", "/m/1.mp4", "/m/2.mp4", "/m/3.mp4", "/m/4.mp4"};
    Form6->setEntries(entries);
    Form6->setItemIndex(3);
    Form6->ListBox1DblClick();
    program.player()->advance(83.7);
    QVERIFY(form->FormCloseQuery());
    const QString resume = QString::fromUtf8(program.readFile(QStringLiteral("Resume.ini")));
    QVERIFY2(resume.contains(QStringLiteral("[Playlist]\r\nEnabled=1\r\nIndex=3\r\n")),
             qPrintable(resume));
    QCOMPARE(program.readFile(QStringLiteral("Playlist.txt")),
             entries.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");

    program.end();
    form = program.start();
    QCOMPARE(Form6->entries(), entries);
    QCOMPARE(Form6->itemIndex(), -1);
    QVERIFY(!form->Timer2->isActive());
    form->P1Click();
    QCOMPARE(Form6->itemIndex(), 3);
    QVERIFY(form->Timer2->isActive());
    QCOMPARE(program.player()->url(), QStringLiteral("/m/3.mp4"));
}

void TestPlaylist::resumeWithAnIndexBeyondTheList()
{
    TestProgram program;
    program.writeFile(QStringLiteral("Playlist.txt"), "a\r\nb\r\n");
    program.writeFile(QStringLiteral("Resume.ini"),
                      "[Playlist]\r\nEnabled=1\r\nIndex=7\r\n[Resume]\r\nFileName=/m/b.mp4\r\n"
                      "Second=12\r\n");
    TForm1 *form = program.start();
    Form6->setItemIndex(0);
    form->P1Click();
    QCOMPARE(Form6->itemIndex(), -1);
    QVERIFY(form->Timer2->isActive());

    // Without Enabled the playlist state is left alone.
    program.writeFile(QStringLiteral("Resume.ini"),
                      "[Resume]\r\nFileName=/m/b.mp4\r\nSecond=1\r\n");
    Form6->setItemIndex(1);
    form->P1Click();
    QCOMPARE(Form6->itemIndex(), 1);
    QVERIFY(!form->Timer2->isActive());
}

void TestPlaylist::aHugeEntryKeepsTheWindowResponsive()
{
    // A list file of one 10 MB line froze the window for seconds: measuring
    // and painting the whole text. The entry is kept whole all the same.
    TestProgram program;
    const QByteArray line(10 * 1024 * 1024, 'a');
    program.writeFile(QStringLiteral("Playlist.txt"), line + "\r\n/m/b.mp4\r\n");
    program.start();
    Form6->show();
    QElapsedTimer clock;
    qint64 longest = 0;
    clock.start();
    qint64 last = 0;
    while (clock.elapsed() < 1500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    }
    QVERIFY2(longest < 250, qPrintable(QStringLiteral("a pause of %1 ms").arg(longest)));
    QVERIFY(Form6->widestWidthKnown());
    QCOMPARE(Form6->entries().value(0).size(), line.size());
    QCOMPARE(Form6->entries().value(1), QStringLiteral("/m/b.mp4"));
}

void TestPlaylist::m3uPlaylistsAreRead()
{
    TestProgram program;
    program.start();
    QSignalSpy told(Form6, &TForm6::told);
    const QDir dir(program.dir());
    QVERIFY(dir.mkpath(QStringLiteral("course/audio")));
    QVERIFY(dir.mkpath(QStringLiteral("other")));
    program.writeFile(QStringLiteral("course/audio/第1回.mp3"), "x");
    program.writeFile(QStringLiteral("other/b.mp3"), "x");
    const QString other = program.file(QStringLiteral("other/b.mp3"));
    // Relative to the playlist's folder; comments and directives are no
    // entries; a missing file, a folder and a refused scheme are skipped.
    program.writeFile(QStringLiteral("course/list.m3u8"),
                      ("#EXTM3U\n#EXTINF:60,第1回\naudio/第1回.mp3\n\n"
                       "../other/b.mp3\nfile://" +
                       other +
                       "\nhttps://radio.example.org/live\nmissing.mp3\naudio\n"
                       "av://lavfi:sine\n")
                          .toUtf8());
    Form6->setEntries({"A"});
    program.dialogs.openNames = {program.file(QStringLiteral("course/list.m3u8"))};
    Form6->Button6Click();
    QTRY_VERIFY_WITH_TIMEOUT(!Form6->reading(), 5000);
    QCOMPARE(Form6->entries(),
             QStringList({program.file(QStringLiteral("course/audio/第1回.mp3")), other, other,
                          QStringLiteral("https://radio.example.org/live")}));
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.constFirst().constFirst().toString().contains(QStringLiteral("3 行")),
             qPrintable(told.constFirst().constFirst().toString()));

    // One that cannot be read leaves the list as it is.
    program.dialogs.openNames = {program.file(QStringLiteral("course/gone.m3u"))};
    Form6->Button6Click();
    QTRY_VERIFY_WITH_TIMEOUT(!Form6->reading(), 5000);
    QCOMPARE(Form6->count(), 4);
    QCOMPARE(program.dialogs.shown.size(), 1);
    QCOMPARE(program.dialogs.shown.constFirst().icon, MsgIcon::Error);
}

void TestPlaylist::aFolderIsAddedInNaturalOrder()
{
    TestProgram program;
    program.start();
    QSignalSpy told(Form6, &TForm6::told);
    const QDir dir(program.dir());
    QVERIFY(dir.mkpath(QStringLiteral("講座/sub.mp3")));
    for (const char *name : {"第10回.mp3", "第2回.m4a", "第１回.mp4", "Intro.MP3", "intro2.ogg",
                             "notes.txt", "cover.jpg", "第2回.srt"})
        program.writeFile(QStringLiteral("講座/") + QString::fromUtf8(name), "x");
    Form6->setEntries({"A"});
    program.dialogs.folderNames = {program.file(QStringLiteral("講座"))};
    QVERIFY(Form6->FolderButton->isVisibleTo(Form6));
    Form6->AddFolderClick();
    QTRY_VERIFY_WITH_TIMEOUT(!Form6->reading(), 5000);
    QStringList expected{"A"};
    for (const char *name : {"Intro.MP3", "intro2.ogg", "第１回.mp4", "第2回.m4a", "第10回.mp3"})
        expected << program.file(QStringLiteral("講座/") + QString::fromUtf8(name));
    QCOMPARE(Form6->entries(), expected);
    QVERIFY(told.isEmpty());

    // A folder without media says so, and adds nothing.
    QVERIFY(dir.mkpath(QStringLiteral("empty")));
    program.dialogs.folderNames = {program.file(QStringLiteral("empty"))};
    Form6->AddFolderClick();
    QTRY_VERIFY_WITH_TIMEOUT(!Form6->reading(), 5000);
    QCOMPARE(Form6->count(), expected.size());
    QCOMPARE(told.size(), 1);
    // Cancelled: nothing.
    Form6->AddFolderClick();
    QCOMPARE(Form6->count(), expected.size());
}

QTEST_MAIN(TestPlaylist)
#include "tst_playlist.moc"
