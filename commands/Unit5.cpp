// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/Unit5.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "app/TextFit.h"
#include "player/MediaPlayer.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>

TForm5 *Form5 = nullptr;

TForm5::TForm5(MainWindowHost &host, QWidget *parent)
    : QWidget(parent, fixedSizeWindowFlags(Qt::Dialog)), m_host(host)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("指定時間から再生"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));

    Label1 = new QLabel(
        QStringLiteral(
            "あらかじめファイルを開いておいてから、再生開始時間を入力してください （時:分:秒）。"),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(12, 12, 430, 14);

    DateTimePicker1 = new QTimeEdit(this);
    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setDisplayFormat(QStringLiteral("H:mm:ss"));
    DateTimePicker1->setFont(formFont(QStringLiteral("ＭＳ ゴシック"), 12));
    DateTimePicker1->setGeometry(12, 30, 89, 20);
    DateTimePicker1->setWrapping(true);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(454, 8, 85, 25);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(454, 39, 85, 25);

    // A wider font widens the text and the dialog; the buttons keep their
    // distance to the text.
    fitToText(Label1);
    keepRightOf(Label1, {Button1, Button2}, 12);
    keepBelow(Label1, {DateTimePicker1}, 2);
    setFixedSize(grownSize(this, QSize(547, 74), 8));

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, DateTimePicker1);

    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
}

void TForm5::FormCreate()
{
    DateTimePicker1->setTime(QTime(0, 0, 0));
}

void TForm5::Button1Click()
{
    runHandler(m_host, nullptr, [&] {
        const QTime t = DateTimePicker1->time();
        const int h = t.toString(QStringLiteral("hh")).toInt();
        const int m = t.toString(QStringLiteral("mm")).toInt();
        const int s = t.toString(QStringLiteral("ss")).toInt();
        const int target = h * 3600 + m * 60 + s;
        m_host.player()->setCurrentPosition(static_cast<double>(target));
        m_host.player()->play();
        close();
    });
}

void TForm5::Button2Click()
{
    close();
}

void TForm5::showEvent(QShowEvent *event)
{
    // Centred on the screen the first time it is shown.
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
    }
    QWidget::showEvent(event);
    // Typing "0:19:50" starts in the hours, each time the box opens.
    DateTimePicker1->setFocus(Qt::OtherFocusReason);
    DateTimePicker1->setCurrentSection(QDateTimeEdit::HourSection);
    DateTimePicker1->setSelectedSection(QDateTimeEdit::HourSection);
}

void TForm5::keyPressEvent(QKeyEvent *event)
{
    // Enter confirms (the default button), Esc cancels.
    if (event->key() == Qt::Key_Escape) {
        Button2Click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Button1Click();
        return;
    }
    QWidget::keyPressEvent(event);
}
