// SPDX-License-Identifier: GPL-3.0-or-later
// The position record window: recording, the record file (save and load),
// the jump, the clear question, the placement beside the main window, and
// notes read and written in the background.
#include "app/Unit1.h"
#include "lists/Unit3.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void createdWithHeaderAndOneEmptyRow();
    void recordOnlyWhilePlayingOrPaused_data();
    void recordOnlyWhilePlayingOrPaused();
    void recordKeepsCommentOfLastRow();
    void saveAndLoadRoundTrip();
    void loadLineRules();
    void loadFailureOrCancelKeepsRows_data();
    void loadFailureOrCancelKeepsRows();
    void jump();
    void clearAsksFirst();
    void placedBesideMainWindowOnce();
    void rightClickKeepsCurrentCell();
    void enterRecords();
    void hundredHoursKeptAndJumped();
    void readableTimesAreTicksOnTheSeekBar();
    void notesReadWhileTheWindowAnswers();
    void notesReadLateAreDropped();
    void notesFailuresReported();
    void recordsAreKeptWithTheirRecording();
    void notesExportNamesTheRecording();
};

namespace
{

FakePlayer *playing(TestProgram &run, double position)
{
    FakePlayer *p = run.player();
    p->setDefaultDuration(100000);
    p->setURL(QStringLiteral("/media/lecture.mp4"));
    p->finishLoading();
    p->setCurrentPosition(position);
    return p;
}

// Records the position through the status update, as the user sees it.
void recordAt(TForm1 *f, FakePlayer *p, double position)
{
    p->setCurrentPosition(position);
    f->Timer1Timer();
    Form3->Button1Click();
}

QStringList rows()
{
    QStringList out;
    for (int row = 1; row < Form3->rowCount(); ++row)
        out << Form3->cell(0, row) + QLatin1Char('|') + Form3->cell(1, row);
    return out;
}

const QByteArray kEllipsisCp932("\x81\x63", 2);

// Notes large enough to take a while to read: many rows, one long comment.
QList<Note> manyNotes()
{
    QList<Note> notes;
    for (int i = 0; i < 20000; ++i)
        notes.append({i * 1000LL, QStringLiteral("メモ %1 | <br>").arg(i), QString()});
    notes[1].comment = QString(4'000'000, QChar(0x3042));
    return notes;
}

} // namespace

void TestRecords::createdWithHeaderAndOneEmptyRow()
{
    TestProgram run;
    run.start();
    QCOMPARE(Form3->rowCount(), 2);
    QCOMPARE(rows(), QStringList({QStringLiteral("|")}));
    QTableWidget *g = Form3->StringGrid1;
    QCOMPARE(g->horizontalHeaderItem(0)->text(), QStringLiteral("時間"));
    QCOMPARE(g->horizontalHeaderItem(1)->text(), QStringLiteral("コメント"));
    QCOMPARE(g->columnWidth(0), 100);
    QCOMPARE(g->columnWidth(1), 250);
    QCOMPARE(g->rowHeight(0), 18);
    QVERIFY(FrmActv);
}

void TestRecords::recordOnlyWhilePlayingOrPaused_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("records");
    QTest::newRow("nothing loaded") << "none" << false;
    QTest::newRow("stopped") << "stopped" << false;
    QTest::newRow("paused") << "paused" << true;
    QTest::newRow("playing") << "playing" << true;
}

void TestRecords::recordOnlyWhilePlayingOrPaused()
{
    QFETCH(QString, state);
    QFETCH(bool, records);
    TestProgram run;
    TForm1 *f = run.start();
    f->CurrentPosition = QStringLiteral("00:07:00");
    if (state != QLatin1String("none")) {
        FakePlayer *p = playing(run, 420);
        if (state == QLatin1String("stopped"))
            p->stop();
        else if (state == QLatin1String("paused"))
            p->pause();
    }
    Form3->Button1Click();
    QVERIFY(run.dialogs.shown.isEmpty());
    if (records)
        QCOMPARE(rows(), QStringList({QStringLiteral("00:07:00|"), QStringLiteral("|")}));
    else
        QCOMPARE(rows(), QStringList({QStringLiteral("|")}));
}

void TestRecords::recordKeepsCommentOfLastRow()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = playing(run, 0);
    Form3->setCell(1, 1, QStringLiteral("導入"));
    recordAt(f, p, 3723.5);
    QCOMPARE(rows(), QStringList({QStringLiteral("01:02:03|導入"), QStringLiteral("|")}));
    recordAt(f, p, 90005.2);
    QCOMPARE(rows(), QStringList({QStringLiteral("01:02:03|導入"), QStringLiteral("25:00:05|"),
                                  QStringLiteral("|")}));
    QCOMPARE(Form3->rowCount(), 4);
}

void TestRecords::saveAndLoadRoundTrip()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = playing(run, 0);

    // Nothing recorded: an empty file.
    run.dialogs.saveNames << run.file(QStringLiteral("empty.txt"));
    Form3->Button2Click();
    QVERIFY(run.exists(QStringLiteral("empty.txt")));
    QCOMPARE(run.readFile(QStringLiteral("empty.txt")), QByteArray());
    const FileDialogOptions o = run.dialogs.fileDialogs.constLast();
    QCOMPARE(o.filter,
             QStringLiteral("テキストファイル（*.txt）(*.txt);;すべてのファイル（*.*）(*)"));
    QCOMPARE(o.defaultSuffix, QStringLiteral("txt"));
    QVERIFY(o.confirmOverwrite);

    Form3->setCell(1, 1, QStringLiteral("始まり"));
    recordAt(f, p, 5.5);
    recordAt(f, p, 3723);
    Form3->setCell(1, 3, QStringLiteral("not saved"));
    const QStringList before = rows();

    // Cancelled: nothing written.
    Form3->Button2Click();
    QVERIFY(!run.exists(QStringLiteral("records.txt")));

    run.dialogs.saveNames << run.file(QStringLiteral("records.txt"));
    Form3->Button2Click();
    QCOMPARE(run.readFile(QStringLiteral("records.txt")),
             QByteArray("00:00:05") + kEllipsisCp932 + QByteArray("\x8e\x6e\x82\xdc\x82\xe8\r\n") +
                 QByteArray("01:02:03") + kEllipsisCp932 + QByteArray("\r\n"));

    run.dialogs.answers << MsgResult::Yes;
    Form3->Button5Click();
    QCOMPARE(Form3->rowCount(), 2);

    run.dialogs.openNames << run.file(QStringLiteral("records.txt"));
    Form3->Button4Click();
    QStringList expected = before;
    expected.last() = QStringLiteral("|");
    QCOMPARE(rows(), expected);
    QCOMPARE(Form3->rowCount(), 4);
    QCOMPARE(run.dialogs.shown.size(), 1); // the clear question only
}

void TestRecords::loadLineRules()
{
    TestProgram run;
    run.start();
    run.writeFile(QStringLiteral("hand.txt"), QByteArray("1:02:03") + kEllipsisCp932 +
                                                  QByteArray("x\r\nno ellipsis here\n\r\n"));
    run.dialogs.openNames << run.file(QStringLiteral("hand.txt"));
    Form3->Button4Click();
    QCOMPARE(rows(),
             QStringList({QStringLiteral("1:02:03…|x"), QStringLiteral("no ellip|no ellipsis here"),
                          QStringLiteral("|"), QStringLiteral("|")}));
    QCOMPARE(Form3->rowCount(), 5);
}

void TestRecords::loadFailureOrCancelKeepsRows_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancelled") << true;
    QTest::newRow("unreadable") << false;
}

void TestRecords::loadFailureOrCancelKeepsRows()
{
    QFETCH(bool, cancel);
    TestProgram run;
    run.start();
    run.writeFile(QStringLiteral("old.txt"), QByteArray("00:01:00") + kEllipsisCp932 + "a\r\n");
    run.dialogs.openNames << run.file(QStringLiteral("old.txt"));
    Form3->Button4Click();
    const QStringList before = rows();
    QCOMPARE(before.size(), 2);

    run.dialogs.openNames << (cancel ? QString() : run.file(QStringLiteral("missing.txt")));
    Form3->Button4Click();
    QCOMPARE(rows(), before);
    if (cancel) {
        QVERIFY(run.dialogs.shown.isEmpty());
    } else {
        QCOMPARE(run.dialogs.shown.size(), 1);
        QCOMPARE(run.dialogs.shown[0].caption, QStringLiteral("pelmora"));
        QCOMPARE(run.dialogs.shown[0].icon, MsgIcon::Error);
        QVERIFY(run.dialogs.shown[0].text.contains(QStringLiteral("missing.txt")));
    }
}

void TestRecords::jump()
{
    TestProgram run;
    run.start();
    FakePlayer *p = playing(run, 50);
    p->stop();
    run.writeFile(QStringLiteral("j.txt"), QByteArray("01:02:03") + kEllipsisCp932 + "\r\n1:02:03" +
                                               kEllipsisCp932 + "x\r\n");
    run.dialogs.openNames << run.file(QStringLiteral("j.txt"));
    Form3->Button4Click();
    QTableWidget *g = Form3->StringGrid1;

    // Whichever column is current, the time of its row is used; a stopped
    // medium starts playing.
    g->setCurrentCell(0, 1);
    p->calls.clear();
    Form3->N1Click();
    QCOMPARE(p->calls, QStringList({QStringLiteral("pos=3723"), QStringLiteral("play")}));
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));

    // A malformed time: the default error display, the position unchanged.
    g->setCurrentCell(1, 0);
    p->calls.clear();
    Form3->N1Click();
    QVERIFY(p->calls.isEmpty());
    QCOMPARE(p->currentPosition(), 3723.0);
    QCOMPARE(run.dialogs.shown.size(), 1);
    QCOMPARE(run.dialogs.shown[0].caption, QStringLiteral("pelmora"));
    QCOMPARE(run.dialogs.shown[0].icon, MsgIcon::Error);

    // The empty last row: a warning, nothing else.
    g->setCurrentCell(2, 0);
    Form3->N1Click();
    QVERIFY(p->calls.isEmpty());
    QCOMPARE(run.dialogs.shown.size(), 2);
    QCOMPARE(run.dialogs.shown[1].caption, QStringLiteral("エラー"));
    QCOMPARE(run.dialogs.shown[1].text,
             QStringLiteral("時間が入力されているセルを選択してください。"));
    QCOMPARE(run.dialogs.shown[1].icon, MsgIcon::Warning);
    QCOMPARE(run.dialogs.shown[1].buttons, MsgButtons::Ok);
}

void TestRecords::clearAsksFirst()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = playing(run, 0);
    recordAt(f, p, 61);
    run.dialogs.answers << MsgResult::No;
    Form3->Button5Click();
    QCOMPARE(rows(), QStringList({QStringLiteral("00:01:01|"), QStringLiteral("|")}));
    const Message q = run.dialogs.shown.constLast();
    QCOMPARE(q.caption, QStringLiteral("リスト消去の確認"));
    QCOMPARE(q.text, QStringLiteral("リストを消去してよろしいですか？"));
    QCOMPARE(q.icon, MsgIcon::Question);
    QCOMPARE(q.buttons, MsgButtons::YesNo);
    QCOMPARE(q.defaultButton, MsgResult::No);
    run.dialogs.answers << MsgResult::Yes;
    Form3->Button5Click();
    QCOMPARE(rows(), QStringList({QStringLiteral("|")}));
}

void TestRecords::placedBesideMainWindowOnce()
{
    TestProgram run;
    TForm1 *f = run.start();
    const int workHeight = f->screen()->availableGeometry().height();

    // As tall as the work area: not placed yet.
    f->setGeometry(40, 30, 300, workHeight + 50);
    const QPoint first = Form3->pos();
    Form3->FormActivate();
    QVERIFY(FrmActv);
    QCOMPARE(Form3->pos(), first);

    f->setGeometry(40, 30, 300, 200);
    Form3->FormActivate();
    QVERIFY(!FrmActv);
    const QRect main = f->frameGeometry();
    QCOMPARE(Form3->frameGeometry().topLeft(), QPoint(main.right() + 1 + 10, main.top()));

    // Later activations leave the window where it is.
    Form3->move(5, 5);
    Form3->FormActivate();
    QCOMPARE(Form3->pos(), QPoint(5, 5));

    // With no room to the right of the main window it stays on the screen.
    FrmActv = true;
    const QRect area = f->screen()->availableGeometry();
    f->setGeometry(area.right() - 320, 30, 300, 200);
    Form3->FormActivate();
    QVERIFY(!FrmActv);
    QCOMPARE(Form3->frameGeometry().right(), area.right());
    QCOMPARE(Form3->frameGeometry().top(), f->frameGeometry().top());
}

void TestRecords::rightClickKeepsCurrentCell()
{
    TestProgram run;
    run.start();
    Form3->StringGrid1->setRowCount(4);
    run.form()->R2Click();
    QVERIFY(QTest::qWaitForWindowExposed(Form3));
    QTableWidget *g = Form3->StringGrid1;
    const QPoint third = g->visualRect(g->model()->index(2, 0)).center();
    QTest::mouseClick(g->viewport(), Qt::RightButton, {}, third);
    QCOMPARE(g->currentRow(), 0);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, third);
    QCOMPARE(g->currentRow(), 2);
}

void TestRecords::enterRecords()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = playing(run, 0);
    p->setCurrentPosition(75);
    f->Timer1Timer();
    f->R2Click();
    QVERIFY(QTest::qWaitForWindowActive(Form3));
    QTableWidget *g = Form3->StringGrid1;

    // Enter in the grid, not editing: the default button records.
    g->setFocus();
    QTest::keyClick(g, Qt::Key_Return);
    QCOMPARE(rows(), QStringList({QStringLiteral("00:01:15|"), QStringLiteral("|")}));

    // Enter while a cell is edited only ends the editing.
    Form3->setCell(1, 2, QString());
    g->setCurrentCell(1, 1);
    g->editItem(g->item(1, 1));
    QWidget *editor = QApplication::focusWidget();
    QVERIFY(editor && editor != g);
    QTest::keyClicks(editor, QStringLiteral("abc"));
    QTest::keyClick(editor, Qt::Key_Return);
    // The item view commits the edit through a queued call.
    QTRY_COMPARE(rows(), QStringList({QStringLiteral("00:01:15|"), QStringLiteral("|abc")}));

    // Enter on another focused button presses that button, not the record.
    Form3->Button5->setFocus();
    run.dialogs.answers << MsgResult::No;
    QTest::keyClick(Form3->Button5, Qt::Key_Return);
    QCOMPARE(run.dialogs.shown.size(), 1);
    QCOMPARE(run.dialogs.shown[0].caption, QStringLiteral("リスト消去の確認"));
    QCOMPARE(Form3->rowCount(), 3);
}

void TestRecords::hundredHoursKeptAndJumped()
{
    TestProgram run;
    TForm1 *f = run.start();
    FakePlayer *p = playing(run, 0);
    p->setMediaDuration(QStringLiteral("/media/long.mp4"), 400000);
    p->setURL(QStringLiteral("/media/long.mp4"));
    p->finishLoading();
    recordAt(f, p, 360005.5);
    Form3->setCell(1, 1, QStringLiteral("翌々日"));
    QCOMPARE(rows(), QStringList({QStringLiteral("100:00:05|翌々日"), QStringLiteral("|")}));

    // Saved and loaded back whole.
    run.dialogs.saveNames << run.file(QStringLiteral("long.txt"));
    Form3->Button2Click();
    run.dialogs.openNames << run.file(QStringLiteral("long.txt"));
    Form3->Button4Click();
    QCOMPARE(rows(), QStringList({QStringLiteral("100:00:05|翌々日"), QStringLiteral("|")}));

    // The jump goes to the recorded position.
    Form3->StringGrid1->setCurrentCell(0, 1);
    p->calls.clear();
    Form3->N1Click();
    QVERIFY(run.dialogs.shown.isEmpty());
    QCOMPARE(p->calls, QStringList({QStringLiteral("pos=360005"), QStringLiteral("play")}));
}

// The grid holds the records of every medium; the seek bar flags those made
// while the medium played, and those read from a record file next to it.
void TestRecords::readableTimesAreTicksOnTheSeekBar()
{
    TestProgram run;
    run.start({run.file(QStringLiteral("t.mp4"))});
    run.writeFile(QStringLiteral("t.txt"), QByteArray("01:02:03") + kEllipsisCp932 +
                                               "intro\r\n1:02:03" + kEllipsisCp932 + "typed\r\n");
    run.dialogs.openNames << run.file(QStringLiteral("t.txt"));
    Form3->Button4Click();
    QTRY_COMPARE(run.player()->marks().size(), 1); // the hand-typed time is not one
    // Another medium: none of them; one recorded there shows there only.
    run.form()->OpenFile(QStringLiteral("/elsewhere/book.m4b"));
    run.player()->finishLoading();
    QTRY_VERIFY(run.player()->marks().isEmpty());
    run.player()->advance(70);
    run.form()->Timer1Timer();
    Form3->Button1Click();
    QTRY_COMPARE(run.player()->marks().size(), 1);
    QCOMPARE(run.player()->marks().first().time, 70.0);
    run.form()->OpenFile(run.file(QStringLiteral("t.mp4")));
    run.player()->finishLoading();
    QTRY_VERIFY(run.player()->marks().size() == 1 && run.player()->marks().first().time == 3723.0);
    QCOMPARE(run.player()->marks().first().comment, QStringLiteral("intro"));
    Form3->setCell(1, 1, QStringLiteral("改"));
    QTRY_COMPARE(run.player()->marks().first().comment, QStringLiteral("改"));
    run.dialogs.answers << MsgResult::Yes;
    Form3->Button5Click();
    QTRY_VERIFY(run.player()->marks().isEmpty());
}

void TestRecords::notesReadWhileTheWindowAnswers()
{
    TestProgram run;
    run.start();
    const QList<Note> notes = manyNotes();
    run.writeFile(QStringLiteral("big.md"), encodeNotes(notes, NoteFormat::Markdown));
    run.dialogs.openNames << run.file(QStringLiteral("big.md"));

    // The GUI thread keeps turning while the file is read.
    int ticksWhileReading = 0;
    QTimer timer;
    timer.setInterval(2);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (Form3->notesBusy()) ++ticksWhileReading;
    });
    timer.start();
    Form3->ImportNotesClick();
    QVERIFY(Form3->notesBusy());
    QVERIFY(!Form3->Label1->isHidden());
    QCOMPARE(Form3->Label1->text(), QStringLiteral("読み込んでいます…"));
    QCOMPARE(Form3->rowCount(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(!Form3->notesBusy(), 30000);
    QVERIFY2(ticksWhileReading > 0, "the window did not answer while the notes were read");
    QVERIFY(Form3->Label1->isHidden());
    QCOMPARE(Form3->rowCount(), int(notes.size()) + 2);
    QCOMPARE(Form3->cell(1, 2), notes[1].comment);
    QCOMPARE(Form3->cell(1, Form3->rowCount() - 2), notes.constLast().comment);
    QVERIFY(run.dialogs.shown.isEmpty());
}

void TestRecords::notesReadLateAreDropped()
{
    TestProgram run;
    run.start();
    run.writeFile(QStringLiteral("big.md"), encodeNotes(manyNotes(), NoteFormat::Markdown));
    const QList<Note> small = {{5000, QStringLiteral("小さい"), QString()}};
    run.writeFile(QStringLiteral("small.csv"), encodeNotes(small, NoteFormat::Csv));
    run.writeFile(QStringLiteral("list.txt"), QByteArray("00:01:00") + kEllipsisCp932 + "a\r\n");

    // A list loaded while the notes are read: the list stays.
    run.dialogs.openNames << run.file(QStringLiteral("big.md"))
                          << run.file(QStringLiteral("list.txt"));
    Form3->ImportNotesClick();
    Form3->Button4Click();
    QCOMPARE(rows(), QStringList({"00:01:00|a", "|"}));
    QTRY_VERIFY_WITH_TIMEOUT(!Form3->notesBusy(), 30000);
    QCOMPARE(rows(), QStringList({"00:01:00|a", "|"}));

    // Two reads: the later one's rows.
    run.dialogs.openNames << run.file(QStringLiteral("big.md"))
                          << run.file(QStringLiteral("small.csv"));
    Form3->ImportNotesClick();
    Form3->ImportNotesClick();
    QTRY_VERIFY_WITH_TIMEOUT(!Form3->notesBusy(), 30000);
    QCOMPARE(rows(), QStringList({"00:00:05|小さい", "|"}));
    QVERIFY(run.dialogs.shown.isEmpty());
}

void TestRecords::notesFailuresReported()
{
    TestProgram run;
    run.start();
    run.writeFile(QStringLiteral("list.txt"), QByteArray("00:01:00") + kEllipsisCp932 + "a\r\n");
    run.dialogs.openNames << run.file(QStringLiteral("list.txt"));
    Form3->Button4Click();
    const QStringList before = rows();

#ifdef Q_OS_UNIX
    // A link to a device: refused with a reason, the rows kept.
    const QString zero = run.file(QStringLiteral("zero.md"));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
    run.dialogs.openNames << zero;
    Form3->ImportNotesClick();
    QTRY_VERIFY_WITH_TIMEOUT(!Form3->notesBusy(), 5000);
    QCOMPARE(run.dialogs.shown.size(), 1);
    QCOMPARE(run.dialogs.shown[0].icon, MsgIcon::Error);
    QVERIFY2(run.dialogs.shown[0].text.contains(QStringLiteral("通常のファイルではない")),
             qPrintable(run.dialogs.shown[0].text));
    QCOMPARE(rows(), before);
#endif

    // A file that cannot be written is reported, and the good one stays.
    const QString kept = run.file(QStringLiteral("kept.md"));
    run.writeFile(QStringLiteral("kept.md"), "# 前のメモ\n");
    QVERIFY(QFile::setPermissions(kept, QFile::ReadOwner));
    run.dialogs.shown.clear();
    run.dialogs.saveNames << kept;
    Form3->ExportNotesClick();
    QVERIFY(Form3->notesBusy());
    QCOMPARE(Form3->Label1->text(), QStringLiteral("書き出しています…"));
    QTRY_VERIFY_WITH_TIMEOUT(!Form3->notesBusy(), 5000);
    QCOMPARE(run.dialogs.shown.size(), 1);
    QVERIFY(run.dialogs.shown[0].text.contains(QStringLiteral("に書き込めません")));
    QCOMPARE(run.readFile(QStringLiteral("kept.md")), QByteArray("# 前のメモ\n"));

    // Written in the background, the same bytes as before.
    run.dialogs.saveNames << run.file(QStringLiteral("out.csv"));
    Form3->ExportNotesClick();
    QTRY_VERIFY_WITH_TIMEOUT(!Form3->notesBusy(), 5000);
    QCOMPARE(run.readFile(QStringLiteral("out.csv")), encodeNotes(Form3->notes(), NoteFormat::Csv));
}

void TestRecords::notesExportNamesTheRecording()
{
    TestProgram run;
    TForm1 *f = run.start();
    const QString lecture = run.file(QStringLiteral("lecture.mp4"));
    run.player()->setMediaDuration(lecture, 3725.4);
    f->OpenFile(lecture);
    run.player()->finishLoading();
    Form3->addRecord(10'000, QStringLiteral("はじめ"));
    Form3->addRecord(3'000'000, QStringLiteral("まとめ"));

    // The dialog starts in the recording's folder, with its name.
    run.dialogs.saveNames << run.file(QStringLiteral("lecture.vtt"));
    Form3->ExportNotesClick();
    QTRY_VERIFY_WITH_TIMEOUT(!Form3->notesBusy(), 5000);
    const FileDialogOptions options = run.dialogs.fileDialogs.constLast();
    QCOMPARE(QDir(options.directory), QDir(run.dir()));
    QCOMPARE(options.fileName, QStringLiteral("lecture.md"));
    // The last chapter lasts to the recording's end.
    const QString vtt = QString::fromUtf8(run.readFile(QStringLiteral("lecture.vtt")));
    QVERIFY2(vtt.contains(QStringLiteral("00:50:00.000 --> 01:02:05.400\nまとめ")),
             qPrintable(vtt));

    // The Markdown heading names the recording and its length.
    run.dialogs.saveNames << run.file(QStringLiteral("lecture.md"));
    Form3->ExportNotesClick();
    QTRY_VERIFY_WITH_TIMEOUT(!Form3->notesBusy(), 5000);
    const QString md = QString::fromUtf8(run.readFile(QStringLiteral("lecture.md")));
    QVERIFY2(md.startsWith(QStringLiteral("# メモ: lecture.mp4（長さ 01:02:05）\n")),
             qPrintable(md));
    QCOMPARE(readNotesFile(run.file(QStringLiteral("lecture.md"))).size(), 2);
}

// The rows belong to the recording that plays: another recording shows its
// own, and they come back with it in the next run, its file moved and
// renamed meanwhile, a comment still being typed at the close included.
void TestRecords::recordsAreKeptWithTheirRecording()
{
    TestProgram run;
    run.writeFile(QStringLiteral("F/第1回.mp4"), QByteArray(200000, 'a'));
    run.writeFile(QStringLiteral("F/第2回.mp4"), QByteArray(200000, 'b'));
    const QString first = run.file(QStringLiteral("F/第1回.mp4"));
    TForm1 *f = run.start({first});
    FakePlayer *p = run.player();
    p->setDefaultDuration(3600);
    p->finishLoading();
    recordAt(f, p, 70);
    Form3->setCell(1, 1, QStringLiteral("定義"));
    const QStringList kept{QStringLiteral("00:01:10|定義"), QStringLiteral("|")};
    QTRY_COMPARE(p->marks().size(), 1);

    f->OpenFile(run.file(QStringLiteral("F/第2回.mp4")));
    p->finishLoading();
    QCOMPARE(rows(), QStringList{QStringLiteral("|")});
    QTRY_VERIFY(p->marks().isEmpty());
    recordAt(f, p, 5);
    f->OpenFile(first);
    p->finishLoading();
    QCOMPARE(rows(), kept);

    // A comment typed and not yet entered when the program closes.
    Form3->show();
    Form3->StringGrid1->setCurrentCell(0, 1);
    Form3->StringGrid1->editItem(Form3->StringGrid1->item(0, 1));
    auto *editor = Form3->StringGrid1->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("定義（改）"));
    QVERIFY(f->close());
    run.end();

    QVERIFY(QDir(run.dir()).rename(QStringLiteral("F"), QStringLiteral("F 後期")));
    f = run.start({run.file(QStringLiteral("F 後期/第1回.mp4"))});
    run.player()->finishLoading();
    QCOMPARE(rows(), QStringList({QStringLiteral("00:01:10|定義（改）"), QStringLiteral("|")}));
    f->OpenFile(run.file(QStringLiteral("F 後期/第2回.mp4")));
    run.player()->finishLoading();
    QCOMPARE(rows(), QStringList({QStringLiteral("00:00:05|"), QStringLiteral("|")}));
}

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
