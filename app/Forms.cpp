// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Forms.h"

#include "persist/LocalNames.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <algorithm>

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

bool placeOnScreen(QWidget *window, const QRect &kept)
{
    const QScreen *onto = nullptr;
    for (const QScreen *s : QGuiApplication::screens()) {
        if (s->availableGeometry().intersects(kept)) {
            onto = s;
            break;
        }
    }
    const QScreen *sizing = onto ? onto : QGuiApplication::primaryScreen();
    if (!sizing) {
        window->resize(kept.size());
        return false;
    }
    const QRect area = sizing->availableGeometry();
    // The frame around the size: as large as it is once shown, and room for
    // a title bar before.
    const QSize frame =
        window->isVisible() ? window->frameGeometry().size() - window->size() : QSize(16, 40);
    const QSize fitted(std::min(kept.width(), std::max(1, area.width() - frame.width())),
                       std::min(kept.height(), std::max(1, area.height() - frame.height())));
    window->resize(fitted);
    if (!onto) return false;
    const int left =
        std::clamp(kept.left(), area.left(),
                   std::max(area.left(), area.right() + 1 - fitted.width() - frame.width()));
    const int top =
        std::clamp(kept.top(), area.top(),
                   std::max(area.top(), area.bottom() + 1 - fitted.height() - frame.height()));
    window->move(left, top);
    return true;
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
