// SPDX-License-Identifier: GPL-3.0-or-later
// The transcript window: opened by the key T (not while the controls are
// locked), its search, the jump, the record, the copy, and the list that
// follows playback unless the user has just moved it.
#include "app/Unit1.h"
#include "lists/TranscriptModel.h"
#include "lists/Unit3.h"
#include "lists/Unit8.h"
#include "player/SeekBar.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

class TestTranscriptWindow : public QObject
{
    Q_OBJECT

private slots:
    void openSearchJumpRecordCopy();
    void followsPlaybackUnlessTheUserJustScrolled();
    void namesWhyThereIsNothing();
    void notesLeaveAndComeBack();
    void chosenTrackDecidesTheSource();
    void placeAndSizeKept();
    void aPlaceKeptLargerThanTheScreenIsFitted();
    void searchMarksFollowTheBarsWidth();
};

namespace
{

QByteArray srt(int count, int stepMs, const char *special = nullptr)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const int ms = 1000 + i * stepMs;
        auto t = [](int v) {
            return QStringLiteral("%1:%2:%3,%4")
                .arg(v / 3600000, 2, 10, QLatin1Char('0'))
                .arg(v / 60000 % 60, 2, 10, QLatin1Char('0'))
                .arg(v / 1000 % 60, 2, 10, QLatin1Char('0'))
                .arg(v % 1000, 3, 10, QLatin1Char('0'))
                .toUtf8();
        };
        out += QByteArray::number(i + 1) + "\n" + t(ms) + " --> " + t(ms + stepMs) + "\n";
        out += (special && i == 2 ? QByteArray(special) : "行 " + QByteArray::number(i)) + "\n\n";
    }
    return out;
}

FakePlayer *loaded(TestProgram &run, const QString &medium)
{
    FakePlayer *p = run.player();
    p->setDefaultDuration(100000);
    p->setURL(medium);
    p->finishLoading();
    return p;
}

bool pressT(MediaPlayer *player)
{
    QKeyEvent t(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, QStringLiteral("t"));
    return player->handleKey(t);
}

} // namespace

void TestTranscriptWindow::openSearchJumpRecordCopy()
{
    TestProgram run;
    run.writeFile(QStringLiteral("lecture.ja.srt"), srt(5, 2250, "今日はかたかなの話です"));
    run.start();
    FakePlayer *p = loaded(run, run.file(QStringLiteral("lecture.mp4")));
    p->pause();

    // Locked controls: the key is taken and nothing opens.
    p->setPlayerEnabled(false);
    QVERIFY(pressT(p));
    QVERIFY(!Form8->isVisible());
    p->setPlayerEnabled(true);
    QVERIFY(pressT(p));
    QVERIFY(Form8->isVisible());
    QCOMPARE(Form8->windowTitle(), QStringLiteral("文字起こし - lecture"));
    TranscriptModel *m = Form8->model();
    QTRY_COMPARE(m->rowCount(), 5);
    QCOMPARE(m->rowText(2), QStringLiteral("00:00:05 今日はかたかなの話です"));

    // Katakana finds the cue written in hiragana, and only it.
    // Typed one character at a time (QTest types Latin-1 only).
    for (const QChar c : QStringLiteral("カタカナ"))
        Form8->Edit1->insert(QString(c));
    QCOMPARE(m->rowCount(), 1);
    QCOMPARE(m->rowText(0), QStringLiteral("00:00:05 今日はかたかなの話です"));
    // The match on the seek bar, while the search is on.
    QCOMPARE(p->foundTimes(), QList<double>({5.5}));

    // Enter jumps to the cue's start; the paused medium stays paused.
    QTest::keyClick(Form8->Edit1, Qt::Key_Return);
    QCOMPARE(p->currentPosition(), 5.5);
    QCOMPARE(p->playState(), int(MediaPlayer::Paused));

    // Insert records the cue to the millisecond, with its text; the notes
    // carry the transcript's line at that time.
    Form8->ListBox1->setFocus();
    QTest::keyClick(Form8->ListBox1, Qt::Key_Insert);
    QCOMPARE(Form3->rowCount(), 3);
    QCOMPARE(Form3->cell(0, 1), QStringLiteral("00:00:05"));
    QCOMPARE(Form3->cell(1, 1), QStringLiteral("今日はかたかなの話です"));
    const QList<Note> notes = Form3->notes();
    QCOMPARE(notes.size(), 1);
    QCOMPARE(notes[0].ms, 5500);
    QCOMPARE(notes[0].cueText, QStringLiteral("今日はかたかなの話です"));

    // Ctrl+C: the selected rows with their times.
    Form8->Edit1->clear();
    QVERIFY(p->foundTimes().isEmpty());
    Form8->ListBox1->selectAll();
    QTest::keyClick(Form8->ListBox1, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text().split(QLatin1Char('\n')).size(), 5);
    QVERIFY(QApplication::clipboard()->text().startsWith(QStringLiteral("00:00:01 行 0\n")));

    // F3 from the last row goes round to the first and plays it.
    Form8->ListBox1->setCurrentIndex(m->index(4));
    QTest::keyClick(Form8->ListBox1, Qt::Key_F3);
    QCOMPARE(p->currentPosition(), 1.0);
    QCOMPARE(p->playState(), int(MediaPlayer::Playing));
}

void TestTranscriptWindow::followsPlaybackUnlessTheUserJustScrolled()
{
    TestProgram run;
    run.writeFile(QStringLiteral("talk.srt"), srt(400, 1000));
    run.start();
    FakePlayer *p = loaded(run, run.file(QStringLiteral("talk.mp4")));
    Form8->openForMedium();
    QTRY_COMPARE(Form8->model()->rowCount(), 400);
    QListView *list = Form8->ListBox1;
    auto inView = [list](int row) {
        return list->viewport()->rect().intersects(list->visualRect(list->model()->index(row, 0)));
    };

    p->setCurrentPosition(300.2); // cue 299
    emit p->positionChanged(300.2);
    QCOMPARE(Form8->model()->currentCue(), 299);
    QVERIFY(inView(299));

    // The user scrolls to the top: the list stays there for 5 s.
    list->verticalScrollBar()->setValue(0);
    run.clock.time = run.clock.time.addMSecs(4000);
    emit p->positionChanged(350.5);
    QCOMPARE(Form8->model()->currentCue(), 349);
    QVERIFY(!inView(349));
    QCOMPARE(list->verticalScrollBar()->value(), 0);
    run.clock.time = run.clock.time.addMSecs(1500);
    emit p->positionChanged(351.5);
    QVERIFY(inView(350));
}

void TestTranscriptWindow::namesWhyThereIsNothing()
{
    TestProgram run;
    run.writeFile(QStringLiteral("bad.srt"), QByteArray(300, '\x01'));
    run.start();
    loaded(run, run.file(QStringLiteral("bad.mp4")));
    Form8->openForMedium();
    QTRY_VERIFY(!Form8->loading());
    QCOMPARE(Form8->model()->rowCount(), 0);
    QVERIFY2(Form8->Label1->text().contains(QStringLiteral("bad.srt")),
             qPrintable(Form8->Label1->text()));

    // Another medium without subtitles.
    loaded(run, run.file(QStringLiteral("plain.mp4")));
    QTRY_COMPARE(Form8->Label1->text(), QStringLiteral("文字起こしがありません"));
    QCOMPARE(Form8->windowTitle(), QStringLiteral("文字起こし - plain"));
}

void TestTranscriptWindow::notesLeaveAndComeBack()
{
    TestProgram run;
    run.writeFile(QStringLiteral("lecture.srt"), srt(5, 2250, "三番目の行"));
    run.start();
    loaded(run, run.file(QStringLiteral("lecture.mp4")));
    Form8->openForMedium();
    QTRY_COMPARE(Form8->model()->rowCount(), 5);
    Form8->ListBox1->setCurrentIndex(Form8->model()->index(2));
    Form8->recordRows();
    Form8->ListBox1->setCurrentIndex(Form8->model()->index(4));
    Form8->recordRows();
    Form3->setCell(1, 2, QStringLiteral("メモ, \"引用\"\n二行目"));
    const QList<Note> before = Form3->notes();
    QCOMPARE(before.size(), 2);
    QCOMPARE(before[0], (Note{5500, QStringLiteral("三番目の行"), QStringLiteral("三番目の行")}));
    QCOMPARE(before[1].ms, 10000);

    // Out through the dialog's name, back in through the open dialog.
    const QString file = run.file(QStringLiteral("notes.csv"));
    run.dialogs.saveNames << file;
    emit Form8->exportNotesRequested();
    QTRY_VERIFY(!Form3->notesBusy());
    QVERIFY(run.readFile(QStringLiteral("notes.csv")).startsWith("\xEF\xBB\xBF"));
    Form3->setCell(1, 1, QStringLiteral("changed"));
    run.dialogs.openNames << file;
    Form3->ImportNotesClick();
    QTRY_VERIFY(!Form3->notesBusy());
    QCOMPARE(Form3->notes(), before);
    QCOMPARE(Form3->rowCount(), 4);

    // A time typed over keeps only what it shows.
    Form3->setCell(0, 1, QStringLiteral("00:00:07"));
    QCOMPARE(Form3->notes()[0].ms, 7000);
}

void TestTranscriptWindow::chosenTrackDecidesTheSource()
{
    TestProgram run;
    run.writeFile(QStringLiteral("talk.mkv"), "x");
    run.writeFile(QStringLiteral("talk.ja.srt"), "x");
    run.writeFile(QStringLiteral("other.mkv"), "x");
    const QString medium = run.file(QStringLiteral("talk.mkv"));
    using T = MediaPlayer::Track;
    auto sub = [](qint64 id, bool selected, const QString &file = QString()) {
        T t;
        t.type = T::Subtitle;
        t.id = id;
        t.selected = selected;
        t.external = !file.isEmpty();
        t.externalFile = file;
        return t;
    };
    T audio;
    audio.selected = true;
    const QString srt = run.file(QStringLiteral("talk.ja.srt"));
    // Nothing chosen: the file beside the medium.
    QCOMPARE(TForm8::sourceFor(medium, {audio, sub(1, false), sub(2, false, srt)}),
             (TranscriptSource{srt, -1}));
    // The second stream inside chosen: that one, though a file lies beside.
    QCOMPARE(TForm8::sourceFor(medium, {audio, sub(1, false), sub(2, true), sub(3, false, srt)}),
             (TranscriptSource{QString(), 2}));
    QCOMPARE(TForm8::sourceFor(medium, {sub(1, false), sub(2, true, srt)}),
             (TranscriptSource{srt, -1}));
    // No file beside: the first text stream inside; nothing for a medium that
    // is no file.
    QCOMPARE(TForm8::sourceFor(run.file(QStringLiteral("other.mkv")), {}),
             (TranscriptSource{QString(), 0}));
    QCOMPARE(TForm8::sourceFor(QStringLiteral("https://example.org/a.mp4"), {}),
             TranscriptSource());
}

void TestTranscriptWindow::placeAndSizeKept()
{
    TestProgram run;
    run.start();
    Form8->openForMedium();
    Form8->resize(500, 400);
    Form8->move(60, 70);
    const QPoint place = Form8->pos();
    Form8->hide();
    run.end();
    run.start();
    QCOMPARE(Form8->size(), QSize(500, 400));
    QCOMPARE(Form8->pos(), place);
}

// Kept at another scale (a screen that was larger, or a scale factor of 2
// since): the window comes back inside the screen, its buttons in reach.
void TestTranscriptWindow::aPlaceKeptLargerThanTheScreenIsFitted()
{
    TestProgram run;
    run.writeFile(QStringLiteral("Pelmora.ini"),
                  "[Transcript]\r\nLeft=300\r\nTop=200\r\nWidth=1600\r\nHeight=2400\r\n");
    run.start();
    Form8->openForMedium();
    const QRect area = Form8->screen()->availableGeometry();
    QVERIFY2(area.contains(Form8->frameGeometry()),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(Form8->frameGeometry().x())
                            .arg(Form8->frameGeometry().y())
                            .arg(Form8->frameGeometry().width())
                            .arg(Form8->frameGeometry().height())));
}

// A search's marks: one green column per pixel that holds a match, where the
// bar puts their times at its width of the moment.
void TestTranscriptWindow::searchMarksFollowTheBarsWidth()
{
    SeekBar bar;
    bar.resize(300, 30);
    bar.setLength(100);
    bar.setFound({10.0, 10.01, 50.0, 99.9});
    const QColor green(30, 150, 60);
    auto columns = [&bar, green] {
        const QImage image = bar.grab().toImage();
        QList<int> found;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) == green) {
                    found << x;
                    break;
                }
        return found;
    };
    QCOMPARE(columns(), QList<int>({bar.xOf(10.0), bar.xOf(50.0), bar.xOf(99.9)}));
    bar.resize(600, 30);
    QCOMPARE(columns(), QList<int>({bar.xOf(10.0), bar.xOf(50.0), bar.xOf(99.9)}));
    bar.setLength(200);
    QCOMPARE(columns(), QList<int>({bar.xOf(10.0), bar.xOf(50.0), bar.xOf(99.9)}));
    bar.setFound({});
    QVERIFY(columns().isEmpty());
}

QTEST_MAIN(TestTranscriptWindow)
#include "tst_transcript.moc"
