// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/Unit2.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "app/TextFit.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

TForm2 *Form2 = nullptr;

TForm2::TForm2(MainWindowHost &host, QWidget *parent)
    : QDialog(parent, fixedSizeWindowFlags(Qt::Dialog)), m_host(host)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Pelmora のバージョン情報"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
    setSizeGripEnabled(false);
    setModal(false);

    // The picture: 349 x 77 with its transparency, at the top left of its
    // area, neither stretched nor centred.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(33, 3, 357, 81);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setAttribute(Qt::WA_TranslucentBackground);
    Image1->setPixmap(QPixmap(QStringLiteral(":/about.png")));

    Label2 = new QLabel(QStringLiteral(PELMORA_VERSION), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(formFont(QStringLiteral("Arial"), 28));
    Label2->setGeometry(357, 82, 40, 32);

    Label3 = new QLabel(
        QStringLiteral("このソフトウェアのメディアプレイヤー部分にはlibmpvを使用しています。"),
        this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setWordWrap(true);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3->setGeometry(16, 90, 279, 24);

    // The notice may run past its nominal width: nothing lies to its right.
    Label4 = new QLabel(QStringLiteral("GNU GPL v3 以降の条件で配布されるフリーソフトウェアです。"),
                        this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setGeometry(16, 120, 384, 12);

    Label5 = new QLabel(QStringLiteral("サポートWebサイト:"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(16, 140, 96, 12);

    Label1 = new QLabel(QString::fromLatin1(kSupportAddress), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setTextFormat(Qt::PlainText);
    setLinkLook(QColor(0, 0, 255), false);
    Label1->installEventFilter(this);

    Button1 = new QPushButton(QStringLiteral("閉じる"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(140, 160, 136, 25);

    // A font with taller lines or wider signs than the layout was made for:
    // each line keeps its place as far as it can, the lines below move
    // down, the link moves right, and the box grows.
    for (QLabel *label : {Label2, Label3, Label4, Label5})
        fitToText(label);
    // The link is as wide as its text, on the row of its caption.
    Label1->adjustSize();
    Label1->setGeometry(118, Label5->y(), Label1->width(), Label5->height());
    keepRightOf(Label5, {Label1}, 6);
    keepBelow(Label3, {Label4}, 2);
    keepBelow(Label4, {Label5, Label1}, 2);
    keepBelow(Label5, {Button1}, 2);
    setFixedSize(grownSize(this, QSize(416, 193), 8));
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button1->setFocusPolicy(Qt::StrongFocus);
    Button1->setFocus();

    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
}

void TForm2::FormCreate() {}

void TForm2::showEvent(QShowEvent *event)
{
    // Centred on the screen the first time it is shown.
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
    }
    QDialog::showEvent(event);
}

void TForm2::setLinkLook(const QColor &color, bool underline)
{
    QPalette p = Label1->palette();
    p.setColor(QPalette::WindowText, color);
    Label1->setPalette(p);
    QFont f = Label1->font();
    f.setUnderline(underline);
    Label1->setFont(f);
}

bool TForm2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label1) {
        switch (event->type()) {
        case QEvent::Enter:
            Label1MouseEnter();
            break;
        case QEvent::Leave:
            Label1MouseLeave();
            break;
        case QEvent::MouseButtonRelease: {
            const auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() == Qt::LeftButton && Label1->rect().contains(me->position().toPoint()))
                Label1Click();
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::Button1Click()
{
    hide();
}

void TForm2::Label1Click()
{
    m_host.services().shell->open(this, QString::fromLatin1(kSupportAddress));
}

void TForm2::Label1MouseEnter()
{
    setLinkLook(QColor(128, 0, 128), true);
}

void TForm2::Label1MouseLeave()
{
    setLinkLook(QColor(0, 0, 255), false);
}
