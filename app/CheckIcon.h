// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The icon of an option that can be ticked: unticked (QIcon::Off) the
// picture as it is, ticked (QIcon::On) the picture with a check mark over its
// lower right corner. The menu draws a ticked item's icon in its On state, so
// the tick is plain to see, where without it only a faint frame around the
// icon would tell.
QIcon checkableIcon(const QIcon &picture);
