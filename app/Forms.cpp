// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Forms.h"

#include "about/Unit2.h"
#include "app/Unit1.h"
#include "commands/Unit5.h"
#include "commands/Unit7.h"
#include "lists/Unit3.h"
#include "lists/Unit4.h"
#include "lists/Unit6.h"
#include "persist/LocalNames.h"
#include "player/MediaPlayer.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

static void initResources()
{
    // The pictures live in the windows' static library: register them.
    Q_INIT_RESOURCE(resources);
}

void createForms(const Services &services)
{
    initResources();
    Form1 = new TForm1(services);
    Form1->FormCreate();
    Form2 = new TForm2(*Form1, Form1);
    Form2->FormCreate();
    Form3 = new TForm3(*Form1, Form1);
    Form3->FormCreate();
    Form4 = new TForm4(*Form1, Form1);
    Form4->FormCreate();
    Form5 = new TForm5(*Form1, Form1);
    Form5->FormCreate();
    Form6 = new TForm6(*Form1, Form1);
    Form6->FormCreate();
    Form7 = new TForm7(*Form1, Form1);
    Form7->FormCreate();

    // The playlist shows which of its entries plays.
    MediaPlayer *player = Form1->WindowsMediaPlayer1;
    QObject::connect(player, &MediaPlayer::playStateChanged, Form6, [player] {
        Form6->setPlaying(player->hasCurrentMedia() ? player->url() : QString());
    });
}

void destroyForms()
{
    // The secondary windows are children of the main window.
    delete Form1;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
    Form5 = nullptr;
    Form6 = nullptr;
    Form7 = nullptr;
}

void registerFontSubstitutes()
{
    // The IPA gothic fonts come closest to the metrics the windows' fixed
    // layouts were made for; the others are fallbacks.
    const QStringList japanese = {
        QStringLiteral("IPAPGothic"),         QStringLiteral("Takao PGothic"),
        QStringLiteral("VL PGothic"),         QStringLiteral("Noto Sans CJK JP"),
        QStringLiteral("Source Han Sans JP"), QStringLiteral("IPAGothic"),
    };
    const QStringList monospace = {
        QStringLiteral("IPAGothic"),        QStringLiteral("Takao Gothic"),
        QStringLiteral("VL Gothic"),        QStringLiteral("Noto Sans Mono CJK JP"),
        QStringLiteral("Noto Sans CJK JP"),
    };
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), japanese);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), monospace);
}

QFont formFont(const QString &family, int pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QStringList droppedLocalFiles(const QMimeData *data)
{
    QStringList names;
    if (!data || !data->hasUrls()) return names;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile()) names << localNameFromUrl(url);
    return names;
}

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, int x, int y,
                        int w, int h)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    return b;
}

Qt::WindowFlags fixedSizeWindowFlags(Qt::WindowType type)
{
    return type | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
}

void showModeless(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}
