// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Forms.h"

#include "persist/LocalNames.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

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
