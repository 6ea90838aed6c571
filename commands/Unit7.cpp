// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/Unit7.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "app/TextFit.h"
#include "app/TimeText.h"
#include "player/MediaPlayer.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

TForm7 *Form7 = nullptr;

namespace
{

const QString kStopped = QStringLiteral("リピート停止中");
const QString kRepeating = QStringLiteral("リピート再生中");

QFrame *bevel(QWidget *parent, int x, int y)
{
    auto *frame = new QFrame(parent);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setGeometry(x, y, 85, 21);
    return frame;
}

QLabel *markLabel(QWidget *parent, const char *name, int x, int y)
{
    auto *label = new QLabel(QStringLiteral("00:00:00"), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(formFont(QStringLiteral("ＭＳ ゴシック"), 13));
    label->setGeometry(x, y, 56, 13);
    // A font with taller lines: around the same middle, inside the frame.
    fitToText(label);
    return label;
}

} // namespace

qint64 markSeconds(const QString &text)
{
    qint64 seconds = 0;
    return readTimeText(text, &seconds) ? seconds : 0;
}

TForm7::TForm7(MainWindowHost &host, QWidget *parent)
    : QWidget(parent, fixedSizeWindowFlags(Qt::Tool)), m_host(host)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("A-Bリピート"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
    setFixedSize(457, 96);

    Bevel1 = bevel(this, 16, 8);
    Label1 = markLabel(this, "Label1", 32, 12);
    Button1 = makeButton(this, "Button1", QStringLiteral("←開始位置"), 107, 8, 75, 21);
    Bevel2 = bevel(this, 16, 35);
    Label2 = markLabel(this, "Label2", 32, 39);
    Button2 = makeButton(this, "Button2", QStringLiteral("←終了位置"), 107, 35, 75, 21);
    Button3 = makeButton(this, "Button3", QStringLiteral("スタート"), 204, 8, 75, 48);
    Button4 = makeButton(this, "Button4", QStringLiteral("終了"), 285, 8, 75, 48);
    Button5 = makeButton(this, "Button5", QStringLiteral("閉じる"), 366, 8, 75, 48);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(15, 63, 425, 23);
    Shape1->setAutoFillBackground(true);
    QPalette band = Shape1->palette();
    band.setColor(QPalette::Window, Qt::black);
    Shape1->setPalette(band);

    // The state text is centred on the band.
    Label3 = new QLabel(Shape1);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 13, true));
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setGeometry(0, 0, Shape1->width(), Shape1->height());
    setBand(false);

    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button4);
    setTabOrder(Button4, Button5);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);

    connect(Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm7::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm7::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm7::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm7::Button5Click);
    connect(Timer1, &QTimer::timeout, this, &TForm7::Timer1Timer);
}

void TForm7::FormCreate() {}

void TForm7::showEvent(QShowEvent *event)
{
    // Centred on the screen the first time it is shown.
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
    }
    QWidget::showEvent(event);
}

void TForm7::setBand(bool repeating)
{
    QPalette p = Label3->palette();
    p.setColor(QPalette::WindowText, repeating ? Qt::red : Qt::white);
    Label3->setPalette(p);
    Label3->setText(repeating ? kRepeating : kStopped);
}

void TForm7::takeMark(QLabel *label)
{
    runHandler(m_host, nullptr, [&] {
        const double position = m_host.player()->currentPosition();
        label->setText(timeText(position));
        showStretch();
    });
}

void TForm7::showStretch()
{
    // Drawn on the player's seek bar while the repeat is on.
    if (!Timer1->isActive()) {
        m_host.player()->setRepeatStretch(std::nullopt);
        return;
    }
    m_host.player()->setRepeatStretch(
        ListenedRange{static_cast<double>(markSeconds(Label1->text())),
                      static_cast<double>(markSeconds(Label2->text()))});
}

void TForm7::Button1Click()
{
    takeMark(Label1);
}

void TForm7::Button2Click()
{
    takeMark(Label2);
}

void TForm7::Button3Click()
{
    runHandler(m_host, nullptr, [&] {
        Timer1->start();
        setBand(true);
        showStretch();
        const qint64 a = markSeconds(Label1->text());
        m_host.player()->setCurrentPosition(static_cast<double>(a));
        m_host.player()->play();
    });
}

void TForm7::Button4Click()
{
    Timer1->stop();
    setBand(false);
    showStretch();
}

void TForm7::Button5Click()
{
    hide();
}

void TForm7::Timer1Timer()
{
    runHandler(m_host, nullptr, [&] {
        const qint64 a = markSeconds(Label1->text());
        const qint64 b = markSeconds(Label2->text());
        MediaPlayer *player = m_host.player();
        if (player->playState() != MediaPlayer::Playing) return;
        const qint64 p = truncatedSeconds(player->currentPosition());
        if (p >= b) {
            player->setCurrentPosition(static_cast<double>(a));
            player->play();
        }
    });
}
