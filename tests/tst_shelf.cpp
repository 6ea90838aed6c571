// SPDX-License-Identifier: GPL-3.0-or-later
// The course shelf window in the program, with the player double: a course
// continued at its place, a course hidden staying hidden when the window
// opens again, and the table saved as CSV through the dialogs.
#include "app/Unit1.h"
#include "lists/Unit11.h"
#include "persist/HistoryStore.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace
{

// Shows the shelf and waits until its folders are listed.
bool showListed()
{
    QSignalSpy shown(Form11, &TForm11::shown);
    Form11->show();
    for (int i = 0; i < 100; ++i) {
        if (!shown.isEmpty() && shown.constLast().at(0).toBool()) return true;
        shown.wait(100);
    }
    return false;
}

int rowOf(const QString &name)
{
    for (int i = 0; i < Form11->rows().size(); ++i)
        if (Form11->rows().at(i).name == name) return i;
    return -1;
}

} // namespace

class TestShelfWindow : public QObject
{
    Q_OBJECT

private slots:
    void continueHideAndExport()
    {
        TestProgram run;
        const QString course = run.file(QStringLiteral("民法, 総則"));
        const QString done = run.file(QStringLiteral("済んだ講座"));
        QDir().mkpath(course);
        QDir().mkpath(done);
        const QString first = course + QStringLiteral("/第1回.mp3");
        const QString second = course + QStringLiteral("/第2回.mp3");
        const QString only = done + QStringLiteral("/全1回.mp3");
        for (const QString &name : {first, second, only})
            QVERIFY(QFile(name).open(QIODevice::WriteOnly));
        const qint64 before = run.clock.time.toMSecsSinceEpoch() - 3600000;
        {
            HistoryStore store(run.file(QString::fromLatin1(kHistoryFile)));
            for (const QString &name : {first, only}) {
                store.keepPlace(name, 600, 600, before, {{0, 600}});
                store.clearPlace(name);
            }
            store.keepPlace(second, 240, 600, before + 1000, {{0, 240}});
        }
        run.start();
        QVERIFY(showListed());
        QCOMPARE(Form11->rows().size(), 2);

        // The table as CSV, with the study log's escaping of the comma.
        const QString csv = run.file(QStringLiteral("shelf.csv"));
        run.dialogs.saveNames << csv;
        Form11->CsvButtonClick();
        QFile saved(csv);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(saved.readAll());
        QVERIFY2(text.contains(QStringLiteral("\n\"民法, 総則\",")), qPrintable(text));

        // Hidden: gone now and when the window opens again.
        Form11->Table->setCurrentIndex(
            Form11->Table->model()->index(rowOf(QStringLiteral("済んだ講座")), 0));
        Form11->HideClick();
        QCOMPARE(Form11->rows().size(), 1);
        Form11->hide();
        QVERIFY(showListed());
        QCOMPARE(Form11->rows().size(), 1);
        QCOMPARE(rowOf(QStringLiteral("済んだ講座")), -1);

        // Continued: the next recording opens at its place.
        Form11->Table->setCurrentIndex(Form11->Table->model()->index(0, 0));
        Form11->ContinueClick();
        QCOMPARE(run.player()->url(), second);
        // (Less the few seconds smart rewind goes back after a long pause.)
        QTRY_VERIFY(run.player()->currentPosition() > 225 &&
                    run.player()->currentPosition() <= 240);
        QVERIFY(!Form11->isVisible());
    }
};

QTEST_MAIN(TestShelfWindow)
#include "tst_shelf.moc"
