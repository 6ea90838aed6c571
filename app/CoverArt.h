// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QImage;

// A medium's cover art as a file in the user's cache directory (for the
// desktop's media widgets), at most 512 pixels on a side, written once per
// medium: its file: URL, empty when it cannot be written.
QString coverArtUrl(const QImage &art, const QString &medium);
