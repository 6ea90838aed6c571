// SPDX-License-Identifier: GPL-3.0-or-later
// The about box, its link, and the help and readme commands with the
// documents shipped beside the program.
#include "about/HelpDocument.h"
#include "about/Unit2.h"
#include "app/Unit1.h"
#include "support/TestServices.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aboutBoxIsOneWindow();
    void linkLookAndClick();
    void helpAndReadmeFromProgramDirectory();
    void htmlHelpOpenedAsHtml();
    void shippedDocumentsAndPicture();
};

namespace
{

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QColor linkColour()
{
    return Form2->Label1->palette().color(QPalette::WindowText);
}

} // namespace

void TestAbout::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestAbout::aboutBoxIsOneWindow()
{
    TestProgram run;
    TForm1 *f = run.start();
    QVERIFY(!Form2->isVisible());
    f->A1Click();
    f->A1Click();
    QVERIFY(Form2->isVisible());
    int boxes = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        boxes += qobject_cast<TForm2 *>(w) != nullptr;
    QCOMPARE(boxes, 1);
    QCOMPARE(Form2->windowTitle(), QStringLiteral("Pelmora のバージョン情報"));
    QCOMPARE(Form2->size(), QSize(416, 193));

    // Enter presses the default button, which closes (hides) the box.
    QVERIFY(QTest::qWaitForWindowActive(Form2));
    QTest::keyClick(Form2, Qt::Key_Return);
    QVERIFY(!Form2->isVisible());
    f->A1Click();
    QVERIFY(Form2->isVisible());
    Form2->Button1->click();
    QVERIFY(!Form2->isVisible());
}

void TestAbout::linkLookAndClick()
{
    TestProgram run;
    run.start();
    Form2->show();
    QCOMPARE(linkColour(), QColor(0, 0, 255));
    QVERIFY(!Form2->Label1->font().underline());
    QCOMPARE(Form2->Label1->cursor().shape(), Qt::PointingHandCursor);

    const QPointF inside(3, 3);
    QEnterEvent enter(inside, inside, Form2->Label1->mapToGlobal(inside));
    QApplication::sendEvent(Form2->Label1, &enter);
    QCOMPARE(linkColour(), QColor(128, 0, 128));
    QVERIFY(Form2->Label1->font().underline());

    QTest::mouseClick(Form2->Label1, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(run.shell.opened, QStringList({QString::fromLatin1(kSupportAddress)}));
    QCOMPARE(Form2->Label1->text(), QString::fromLatin1(kSupportAddress));
    QCOMPARE(linkColour(), QColor(128, 0, 128));
    QVERIFY(Form2->Label1->font().underline());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Form2->Label1, &leave);
    QCOMPARE(linkColour(), QColor(0, 0, 255));
    QVERIFY(!Form2->Label1->font().underline());
}

void TestAbout::helpAndReadmeFromProgramDirectory()
{
    const QString oldCurrent = QDir::currentPath();
    QTemporaryDir current;
    QVERIFY(QDir::setCurrent(current.path()));
    TestProgram run;
    TForm1 *f = run.start();
    run.writeFile(QStringLiteral("readme.txt"), "program dir readme\n");
    run.writeFile(QStringLiteral("pelmora.chm"), "<!DOCTYPE html><title>program dir</title>\n");

    f->ReadmeR1Click();
    QCOMPARE(run.shell.opened.constLast(), run.file(QStringLiteral("readme.txt")));
    f->H2Click();
    QVERIFY(run.shell.opened.constLast().endsWith(QStringLiteral("/pelmora.html")));
    QCOMPARE(readFile(run.shell.opened.constLast()),
             QByteArray("<!DOCTYPE html><title>program dir</title>\n"));

    // The current directory comes first.
    writeFile(current.filePath(QStringLiteral("readme.txt")), "current readme\n");
    writeFile(current.filePath(QStringLiteral("pelmora.chm")), "<html>current</html>");
    f->ReadmeR1Click();
    QCOMPARE(run.shell.opened.constLast(), QDir(current.path()).absoluteFilePath("readme.txt"));
    f->H2Click();
    QCOMPARE(readFile(run.shell.opened.constLast()), QByteArray("<html>current</html>"));
    QVERIFY(run.dialogs.shown.isEmpty());

    // No program for it, or no file: a box says so, with the path.
    run.shell.launches = false;
    f->ReadmeR1Click();
    QCOMPARE(run.dialogs.shown.size(), 1);
    QVERIFY(run.dialogs.shown.constLast().text.endsWith(
        QDir(current.path()).absoluteFilePath("readme.txt")));
    run.shell.launches = true;
    QFile::remove(current.filePath(QStringLiteral("pelmora.chm")));
    QFile::remove(run.file(QStringLiteral("pelmora.chm")));
    const int opened = run.shell.opened.size();
    f->H2Click();
    QCOMPARE(run.shell.opened.size(), opened);
    QCOMPARE(run.dialogs.shown.size(), 2);
    QVERIFY(run.dialogs.shown.constLast().text.contains(QStringLiteral("pelmora.chm")));
    QVERIFY(QDir::setCurrent(oldCurrent));
}

void TestAbout::htmlHelpOpenedAsHtml()
{
    QTemporaryDir dir;
    const QString cache = dir.filePath(QStringLiteral("cache/help"));
    const QString html = dir.filePath(QStringLiteral("pelmora.chm"));
    writeFile(html, "\xEF\xBB\xBF\n  <!doctype HTML>\n<p>x</p>");
    const QString shown = documentForShell(html, cache);
    QCOMPARE(shown, QDir(cache).filePath(QStringLiteral("pelmora.html")));
    QCOMPARE(readFile(shown), readFile(html));

    // A real compiled help file, or one that is missing, is handed on as it is.
    const QString compiled = dir.filePath(QStringLiteral("other.chm"));
    writeFile(compiled, QByteArray("ITSF\x03\x00\x00\x00", 8));
    QCOMPARE(documentForShell(compiled, cache), compiled);
    const QString missing = dir.filePath(QStringLiteral("missing.chm"));
    QCOMPARE(documentForShell(missing, cache), missing);
}

void TestAbout::shippedDocumentsAndPicture()
{
    const QString help = QFINDTESTDATA("../resources/pelmora.chm");
    const QString readme = QFINDTESTDATA("../resources/readme.txt");
    QVERIFY(!help.isEmpty());
    QVERIFY(!readme.isEmpty());
    for (const QString &path : {help, readme}) {
        const QByteArray bytes = readFile(path);
        QVERIFY2(bytes.size() > 1000, qPrintable(path));
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        QVERIFY2(!utf8.hasError(), qPrintable(path));
        QVERIFY(text.contains(QStringLiteral("Ctrl+F1")));
    }
    // The help page stands alone: nothing is loaded from elsewhere.
    const QString page = QString::fromUtf8(readFile(help));
    QVERIFY(looksLikeHtml(readFile(help)));
    QVERIFY(page.contains(QStringLiteral("charset=\"utf-8\""), Qt::CaseInsensitive));
    QVERIFY(!page.contains(QStringLiteral("src=\"http")));
    QVERIFY(!page.contains(QStringLiteral("<link")));

    const QImage picture(QStringLiteral(":/about.png"));
    QCOMPARE(picture.size(), QSize(349, 77));
    QVERIFY(picture.hasAlphaChannel());
    QCOMPARE(qAlpha(picture.pixel(348, 76)), 0);
    TestProgram run;
    run.start();
    QCOMPARE(Form2->Image1->pixmap().size(), QSize(349, 77));
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
