// SPDX-License-Identifier: GPL-3.0-or-later
// The recent-files window: the recent list rule, loading at start-up, the
// history switch and opening from the window.
#include "app/Unit1.h"
#include "lists/Unit4.h"
#include "support/FakePlayer.h"
#include "support/TestServices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace
{

QStringList settingsLines(const TestProgram &program)
{
    QStringList lines = QString::fromUtf8(program.readFile(QStringLiteral("Pelmora.ini")))
                            .split(QStringLiteral("\r\n"));
    lines.removeAll(QString());
    return lines;
}

QByteArray recentlySection(const QStringList &files)
{
    QByteArray text = "[Recently]\r\n";
    for (int i = 0; i < files.size(); ++i)
        text += QStringLiteral("File%1=%2\r\n").arg(i + 1).arg(files.at(i)).toUtf8();
    return text;
}

} // namespace

class TestRecent : public QObject
{
    Q_OBJECT

private slots:
    void enteringKeepsNewestFirstAndDeduplicatesOnlyTheFirst();
    void aFullListDropsItsTenthEntry();
    void loadingNeedsTheFirstKeyAndTheHistoryOn();
    void historyOffLoadsNothingAndEntersNothing();
    void erasingEmptiesTheListAndTheStoredKeys();
    void okOpensOnlyAnExistingFile();
    void okWithTheBoxClearedSwitchesTheHistoryBackOn();
    void showingSelectsTheNewestAndCancelAppliesNothing();
    void aFailingWriteGoesToTheDefaultErrorDisplay();
    void oneFileIsOneEntryWhateverItsSpelling();
};

void TestRecent::enteringKeepsNewestFirstAndDeduplicatesOnlyTheFirst()
{
    TestProgram program;
    TForm1 *form = program.start();
    form->OpenFile(QStringLiteral("/m/A.mp4"));
    form->OpenFile(QStringLiteral("/m/B.mp4"));
    form->OpenFile(QStringLiteral("/m/A.mp4"));
    QCOMPARE(form->recentList(), QStringList({"/m/A.mp4", "/m/B.mp4", "/m/A.mp4"}));
    // Again A: equal to the first entry, nothing changes.
    form->OpenFile(QStringLiteral("/m/A.mp4"));
    QCOMPARE(form->recentList().size(), 3);
    // Compared with regard to case.
    form->OpenFile(QStringLiteral("/m/a.mp4"));
    QCOMPARE(form->recentList().constFirst(), QStringLiteral("/m/a.mp4"));
    QCOMPARE(form->recentList().size(), 4);
}

void TestRecent::aFullListDropsItsTenthEntry()
{
    TestProgram program;
    QStringList files;
    for (int i = 1; i <= 10; ++i)
        files << QStringLiteral("/m/f%1.mp4").arg(i);
    program.writeFile(QStringLiteral("Pelmora.ini"), recentlySection(files));
    TForm1 *form = program.start();
    QCOMPARE(form->recentList(), files);

    form->OpenFile(QStringLiteral("/m/new.mp4"));
    QStringList expected = files.mid(0, 9);
    expected.prepend(QStringLiteral("/m/new.mp4"));
    QCOMPARE(form->recentList(), expected);
}

void TestRecent::loadingNeedsTheFirstKeyAndTheHistoryOn()
{
    {
        // File1 alone: that entry and nine empty ones.
        TestProgram program;
        program.writeFile(QStringLiteral("Pelmora.ini"), recentlySection({"/m/only.mp4"}));
        TForm1 *form = program.start();
        QStringList expected{"/m/only.mp4"};
        for (int i = 0; i < 9; ++i)
            expected << QString();
        QCOMPARE(form->recentList(), expected);
        // A new file pushes out the last (empty) entry.
        form->OpenFile(QStringLiteral("/m/next.mp4"));
        QCOMPARE(form->recentList().size(), 10);
        QCOMPARE(form->recentList().mid(0, 2), QStringList({"/m/next.mp4", "/m/only.mp4"}));
    }
    {
        // File1 empty, File2 set: nothing at all.
        TestProgram program;
        program.writeFile(QStringLiteral("Pelmora.ini"),
                          "[Recently]\r\nFile1=\r\nFile2=/m/second.mp4\r\n");
        TForm1 *form = program.start();
        QVERIFY(form->recentList().isEmpty());
        QVERIFY(!Form4->CheckBox1->isChecked());
        QVERIFY(!form->RecentDisable);
    }
}

void TestRecent::historyOffLoadsNothingAndEntersNothing()
{
    TestProgram program;
    program.writeFile(QStringLiteral("Pelmora.ini"),
                      "[Recently]\r\nEnable=0\r\nFile1=/m/a.mp4\r\nFile2=/m/b.mp4\r\n");
    TForm1 *form = program.start();
    QVERIFY(form->recentList().isEmpty());
    QVERIFY(Form4->CheckBox1->isChecked());
    QVERIFY(form->RecentDisable);
    form->OpenFile(QStringLiteral("/m/c.mp4"));
    QVERIFY(form->recentList().isEmpty());
}

void TestRecent::erasingEmptiesTheListAndTheStoredKeys()
{
    TestProgram program;
    TForm1 *form = program.start();
    form->OpenFile(QStringLiteral("/m/a.mp4"));
    form->OpenFile(QStringLiteral("/m/b.mp4"));
    form->Timer2->start();
    const int callsBefore = static_cast<int>(program.player()->calls.size());

    form->R3Click();
    QVERIFY(Form4->isVisible());
    Form4->CheckBox1->setChecked(true);
    QTest::mouseClick(Form4->Button1, Qt::LeftButton);

    QVERIFY(form->RecentDisable);
    QCOMPARE(Form4->ComboBox1->count(), 0);
    QCOMPARE(Form4->ComboBox1->currentText(), QString());
    QVERIFY(!Form4->isVisible());
    QVERIFY(!form->Timer2->isActive());
    // Nothing opened.
    QCOMPARE(program.player()->calls.size(), callsBefore);
    // Enable first, then the ten keys in order, all empty.
    QStringList expected{"[Recently]", "Enable=0"};
    for (int i = 1; i <= 10; ++i)
        expected << QStringLiteral("File%1=").arg(i);
    QCOMPARE(settingsLines(program), expected);
    // The history stays off.
    form->OpenFile(QStringLiteral("/m/c.mp4"));
    QVERIFY(form->recentList().isEmpty());
}

void TestRecent::okOpensOnlyAnExistingFile()
{
    TestProgram program;
    TForm1 *form = program.start();
    form->R3Click();
    form->Timer2->start();

    // A name that does not exist: the window closes, nothing opens.
    Form4->ComboBox1->setEditText(program.file(QStringLiteral("missing.mp4")));
    Form4->Button1Click();
    QVERIFY(!Form4->isVisible());
    QVERIFY(program.player()->calls.isEmpty());
    QVERIFY(!form->Timer2->isActive());
    QVERIFY(form->recentList().isEmpty());
    QCOMPARE(settingsLines(program), QStringList({"[Recently]", "Enable=1"}));

    // A directory is no file either.
    form->R3Click();
    Form4->ComboBox1->setEditText(program.dir());
    Form4->Button1Click();
    QVERIFY(program.player()->calls.isEmpty());

    // An existing file is opened, and entered by OpenFile.
    const QString clip = program.file(QStringLiteral("clip.mp4"));
    program.writeFile(QStringLiteral("clip.mp4"), "x");
    form->R3Click();
    Form4->ComboBox1->setEditText(clip);
    Form4->Button1Click();
    QVERIFY(!Form4->isVisible());
    QCOMPARE(program.player()->calls.value(0), QStringLiteral("setURL:") + clip);
    QCOMPARE(form->recentList(), QStringList{clip});
}

void TestRecent::okWithTheBoxClearedSwitchesTheHistoryBackOn()
{
    TestProgram program;
    program.writeFile(QStringLiteral("Pelmora.ini"), "[Recently]\r\nEnable=0\r\n");
    TForm1 *form = program.start();
    QVERIFY(form->RecentDisable);
    form->R3Click();
    Form4->CheckBox1->setChecked(false);
    Form4->Button1Click();
    QVERIFY(!form->RecentDisable);
    QCOMPARE(settingsLines(program), QStringList({"[Recently]", "Enable=1"}));
    form->OpenFile(QStringLiteral("/m/a.mp4"));
    QCOMPARE(form->recentList(), QStringList{"/m/a.mp4"});
}

void TestRecent::showingSelectsTheNewestAndCancelAppliesNothing()
{
    TestProgram program;
    TForm1 *form = program.start();
    form->OpenFile(QStringLiteral("/m/a.mp4"));
    form->OpenFile(QStringLiteral("/m/b.mp4"));
    Form4->ComboBox1->setEditText(QStringLiteral("typed"));
    form->R3Click();
    QCOMPARE(Form4->ComboBox1->currentText(), QStringLiteral("/m/b.mp4"));
    QCOMPARE(Form4->size(), QSize(508, 109));
    QVERIFY(Form4->Button1->isDefault());

    // Cancel (Esc): hidden, the tick stays for later, nothing is written.
    Form4->CheckBox1->setChecked(true);
    QTest::keyClick(Form4, Qt::Key_Escape);
    QVERIFY(!Form4->isVisible());
    QVERIFY(!form->RecentDisable);
    QVERIFY(!program.exists(QStringLiteral("Pelmora.ini")));
    form->R3Click();
    QVERIFY(Form4->CheckBox1->isChecked());
    QCOMPARE(form->recentList().size(), 2);

    // Enter presses the default button.
    Form4->CheckBox1->setChecked(false);
    Form4->ComboBox1->setEditText(QStringLiteral("/nowhere/x.mp4"));
    QTest::keyClick(Form4->ComboBox1, Qt::Key_Return);
    QVERIFY(!Form4->isVisible());
    QVERIFY(program.exists(QStringLiteral("Pelmora.ini")));
    // A typed name is not added by the box itself.
    QCOMPARE(form->recentList().size(), 2);
}

void TestRecent::aFailingWriteGoesToTheDefaultErrorDisplay()
{
    TestProgram program;
    TForm1 *form = program.start();
    form->OpenFile(QStringLiteral("/m/a.mp4"));
    // The settings file cannot be written: a directory stands in its place.
    QVERIFY(QDir(program.dir()).mkdir(QStringLiteral("Pelmora.ini")));
    form->R3Click();
    Form4->CheckBox1->setChecked(true);
    Form4->Button1Click();
    QCOMPARE(program.dialogs.shown.size(), 1);
    const Message &m = program.dialogs.shown.constFirst();
    QCOMPARE(m.caption, QStringLiteral("pelmora"));
    QCOMPARE(m.icon, MsgIcon::Error);
    QVERIFY(m.text.contains(QStringLiteral("に書き込めません")));
    // The switch has been changed already and the window stays open.
    QVERIFY(form->RecentDisable);
    QVERIFY(Form4->isVisible());
}

void TestRecent::oneFileIsOneEntryWhateverItsSpelling()
{
    TestProgram program;
    TForm1 *form = program.start();
    QVERIFY(QDir(program.dir()).mkpath(QStringLiteral("course/week1")));
    program.writeFile(QStringLiteral("course/talk.mp3"), "x");
    const QString talk =
        QFileInfo(program.file(QStringLiteral("course/talk.mp3"))).canonicalFilePath();
    form->OpenFile(program.file(QStringLiteral("course/week1/../talk.mp3")));
    QCOMPARE(form->recentList(), QStringList({talk}));
#ifdef Q_OS_UNIX
    QVERIFY(QFile::link(talk, program.file(QStringLiteral("link.mp3"))));
    form->OpenFile(program.file(QStringLiteral("link.mp3")));
    form->OpenFile(talk);
    QCOMPARE(form->recentList(), QStringList({talk}));
#endif
}

QTEST_MAIN(TestRecent)
#include "tst_recent.moc"
