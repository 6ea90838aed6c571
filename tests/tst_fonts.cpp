// SPDX-License-Identifier: GPL-3.0-or-later
// The fixed-layout windows with another Japanese font than the one their
// sizes were made for: with the IPA fonts hidden from fontconfig, only Noto
// Sans CJK JP is left, whose lines are taller and whose full-width signs are
// wider. Every label's, button's and check box's text must fit inside its
// control, and no two of those controls may overlap. With PELMORA_SHOTS set
// to a directory, a picture of each window is written there.
#include "about/Unit2.h"
#include "app/Forms.h"
#include "app/Unit1.h"
#include "commands/Unit5.h"
#include "commands/Unit7.h"
#include "lists/Unit3.h"
#include "lists/Unit4.h"
#include "lists/Unit6.h"
#include "support/TestServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTest>

namespace
{

// Where the text of a control is drawn, what it needs there, and the
// control's own place (both in the window's coordinates).
struct TextBox {
    QString name;
    QString text;
    QRect area;   // where the text is drawn
    QSize needed; // what the text takes in its font
    QRect place;  // the control
};

QRect inWindow(QWidget *window, QWidget *w, const QRect &r)
{
    return QRect(w->mapTo(window, r.topLeft()), r.size());
}

QList<TextBox> textBoxes(QWidget *window)
{
    QList<TextBox> boxes;
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (QWidget *w : children) {
        if (!w->isVisibleTo(window)) continue;
        const QFontMetrics fm(w->font());
        TextBox box;
        box.name = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                             : w->objectName();
        box.place = inWindow(window, w->parentWidget(), w->geometry());
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (label->text().isEmpty()) continue;
            const QRect area = label->contentsRect();
            const int flags =
                int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
            box.text = label->text();
            box.area = inWindow(window, w, area);
            box.needed = fm.boundingRect(area, flags, label->text()).size();
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            QStyle::SubElement element = QStyle::SE_PushButtonContents;
            if (auto *push = qobject_cast<QPushButton *>(button)) {
                if (push->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
                if (push->isDefault()) option.features |= QStyleOptionButton::DefaultButton;
            } else if (qobject_cast<QCheckBox *>(button)) {
                element = QStyle::SE_CheckBoxContents;
            } else {
                continue;
            }
            box.text = button->text();
            box.area = inWindow(window, w, w->style()->subElementRect(element, &option, w));
            box.needed = fm.size(Qt::TextShowMnemonic, button->text());
        } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            option.textAlignment = group->alignment();
            const QRect title = w->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, w);
            box.text = group->title();
            box.area = inWindow(window, w, title);
            box.needed = fm.size(Qt::TextShowMnemonic, group->title());
            box.place = box.area; // the frame holds its own controls
        } else {
            continue;
        }
        boxes << box;
    }
    return boxes;
}

QString describe(const TextBox &b)
{
    return QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6 at %7,%8")
        .arg(b.name, b.text)
        .arg(b.needed.width())
        .arg(b.needed.height())
        .arg(b.area.width())
        .arg(b.area.height())
        .arg(b.area.x())
        .arg(b.area.y());
}

} // namespace

class TestFonts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void textsFitWithNoto_data();
    void textsFitWithNoto();
};

void TestFonts::initTestCase()
{
    registerFontSubstitutes();
    // What the windows ask for must come out as Noto here, or the test
    // would measure the fonts it means to hide.
    const QString family = QFontInfo(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12)).family();
    QVERIFY2(family.startsWith(QStringLiteral("Noto Sans CJK")), qPrintable(family));
}

void TestFonts::textsFitWithNoto_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("about") << QStringLiteral("about");
    QTest::newRow("start time") << QStringLiteral("starttime");
    QTest::newRow("A-B repeat") << QStringLiteral("abrepeat");
    QTest::newRow("playlist") << QStringLiteral("playlist");
    QTest::newRow("recent files") << QStringLiteral("recent");
    QTest::newRow("position records") << QStringLiteral("records");
}

void TestFonts::textsFitWithNoto()
{
    QFETCH(QString, window);
    TestProgram run;
    run.writeFile(QStringLiteral("Pelmora.ini"), "[Recently]\r\nFile1=/media/講義 第1回.mp4\r\n");
    run.start({QStringLiteral("/media/講義 第1回.mp4")});
    QWidget *w = window == QLatin1String("about")       ? static_cast<QWidget *>(Form2)
                 : window == QLatin1String("starttime") ? static_cast<QWidget *>(Form5)
                 : window == QLatin1String("abrepeat")  ? static_cast<QWidget *>(Form7)
                 : window == QLatin1String("playlist")  ? static_cast<QWidget *>(Form6)
                 : window == QLatin1String("recent")    ? static_cast<QWidget *>(Form4)
                                                        : static_cast<QWidget *>(Form3);
    if (w == Form6) Form6->DropFiles({QStringLiteral("/media/講義 第1回.mp4")});
    showModeless(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));

    const QList<TextBox> boxes = textBoxes(w);
    QVERIFY(boxes.size() >= 3);
    QStringList problems;
    for (const TextBox &b : boxes) {
        if (b.needed.width() > b.area.width() || b.needed.height() > b.area.height())
            problems << QStringLiteral("cut: ") + describe(b);
        if (!QRect(QPoint(), w->size()).contains(b.place))
            problems << QStringLiteral("outside the window: ") + describe(b);
    }
    for (int i = 0; i < boxes.size(); ++i)
        for (int j = i + 1; j < boxes.size(); ++j)
            if (boxes[i].place.intersects(boxes[j].place))
                problems << boxes[i].name + QStringLiteral(" overlaps ") + boxes[j].name;
    const QString shots = qEnvironmentVariable("PELMORA_SHOTS");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        QVERIFY(w->grab().save(QDir(shots).filePath(window + QStringLiteral(".png"))));
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

int main(int argc, char *argv[])
{
    // Fontconfig reads its configuration when the first font is looked up:
    // the IPA fonts (and the others that would come before Noto) are hidden
    // from then on.
    static QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("fonts.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    QByteArray rejected;
    for (const char *family : {"IPAGothic", "IPAPGothic", "IPAexGothic", "Takao Gothic",
                               "Takao PGothic", "VL Gothic", "VL PGothic"})
        rejected += QByteArray("      <pattern><patelt name=\"family\"><string>") + family +
                    "</string></patelt></pattern>\n";
    file.write("<?xml version=\"1.0\"?>\n"
               "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
               "<fontconfig>\n"
               "  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
               "  <selectfont>\n"
               "    <rejectfont>\n" +
               rejected +
               "    </rejectfont>\n"
               "  </selectfont>\n"
               "</fontconfig>\n");
    file.close();
    qputenv("FONTCONFIG_FILE", QFile::encodeName(config));
    QApplication app(argc, argv);
    TestFonts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fonts.moc"
