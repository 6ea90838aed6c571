// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The playlist's cursor, as those who step through it see it (the desktop's
// media keys): the entries after and before the selected one (-1: none; with
// no selection the next one is the first), and playing one of them as a
// double-click does. The playlist window implements it.
class PlaylistCursor
{
public:
    virtual ~PlaylistCursor() = default;
    virtual int nextEntry() const = 0;
    virtual int previousEntry() const = 0;
    virtual void playEntry(int index) = 0;
};
