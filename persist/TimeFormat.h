// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// How the program writes a time: hours, minutes and seconds joined by
// colons, every field after the first with two digits ("1:02:03").
struct TimeForm {
    // The hours have at least this many digits, zeros before ("01:02:03");
    // 0: no hours, the minutes run on past an hour ("62:03").
    int hourDigits = 1;
    // The milliseconds follow the seconds (".045").
    bool milliseconds = false;
};

// The text of a time of ms milliseconds in the form given; a negative time
// is written as 0. Without milliseconds, the part of a second is cut off.
QString formatTime(qint64 ms, TimeForm form = {});
