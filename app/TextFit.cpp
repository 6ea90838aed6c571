// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TextFit.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

namespace
{

// Where a control draws its text (in its own coordinates), what the text
// takes there, and how it is aligned; an empty text needs nothing.
struct TextPlace {
    QRect area;
    QSize needed;
    Qt::Alignment alignment;
};

TextPlace textPlace(const QWidget *control)
{
    const QFontMetrics metrics(control->font());
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        if (label->text().isEmpty()) return {};
        const QRect area = label->contentsRect();
        const int flags = int(label->alignment()) | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
        return {area, metrics.boundingRect(area, flags, label->text()).size(), label->alignment()};
    }
    const auto *button = qobject_cast<const QAbstractButton *>(control);
    if (!button || button->text().isEmpty()) return {};
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    Qt::Alignment alignment = Qt::AlignCenter;
    if (const auto *push = qobject_cast<const QPushButton *>(button)) {
        if (push->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isDefault()) option.features |= QStyleOptionButton::DefaultButton;
    } else if (qobject_cast<const QCheckBox *>(button)) {
        element = QStyle::SE_CheckBoxContents;
        alignment = Qt::AlignLeft | Qt::AlignVCenter;
    } else {
        return {};
    }
    return {control->style()->subElementRect(element, &option, control),
            metrics.size(Qt::TextShowMnemonic, button->text()), alignment};
}

} // namespace

QSize fitToText(QWidget *control)
{
    const TextPlace place = textPlace(control);
    const int dw = std::max(0, place.needed.width() - place.area.width());
    const int dh = std::max(0, place.needed.height() - place.area.height());
    if (dw == 0 && dh == 0) return {};
    QRect r = control->geometry();
    if (place.alignment & Qt::AlignRight)
        r.moveLeft(r.left() - dw);
    else if (place.alignment & Qt::AlignHCenter)
        r.moveLeft(r.left() - dw / 2);
    if (place.alignment & Qt::AlignBottom)
        r.moveTop(r.top() - dh);
    else if (!(place.alignment & Qt::AlignTop))
        r.moveTop(r.top() - dh / 2);
    r.setSize(r.size() + QSize(dw, dh));
    control->setGeometry(r);
    return {dw, dh};
}

int keepBelow(const QWidget *above, std::initializer_list<QWidget *> controls, int gap)
{
    const int least = above->geometry().bottom() + 1 + gap;
    int amount = 0;
    for (const QWidget *c : controls)
        amount = std::max(amount, least - c->y());
    if (amount > 0)
        for (QWidget *c : controls)
            c->move(c->x(), c->y() + amount);
    return amount;
}

int keepRightOf(const QWidget *left, std::initializer_list<QWidget *> controls, int gap)
{
    const int least = left->geometry().right() + 1 + gap;
    int amount = 0;
    for (const QWidget *c : controls)
        amount = std::max(amount, least - c->x());
    if (amount > 0)
        for (QWidget *c : controls)
            c->move(c->x() + amount, c->y());
    return amount;
}

QSize grownSize(const QWidget *window, const QSize &designSize, int margin)
{
    QSize size = designSize;
    for (const QObject *child : window->children()) {
        const auto *w = qobject_cast<const QWidget *>(child);
        if (!w || w->isWindow() ||
            (w->isHidden() && w->testAttribute(Qt::WA_WState_ExplicitShowHide)))
            continue;
        size = size.expandedTo(
            QSize(w->geometry().right() + 1 + margin, w->geometry().bottom() + 1 + margin));
    }
    return size;
}
