// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "persist/Transcript.h"

#include <atomic>

// The cues of a text subtitle stream inside a medium (mp4 mov_text, mkv
// SubRip, ASS/SSA, WebVTT), read with libavformat. Only that stream's
// packets are taken; the others are discarded by the demuxer, never decoded.
//
// - number: the subtitle stream to read, counted from 1 among the medium's
//   subtitle streams in their order (as the player numbers its embedded
//   subtitle tracks); 0 reads the first text one.
// - A medium that cannot be opened, has no such stream or only picture
//   subtitles gives no cues and a problem to show (noTranscriptText() when
//   there is simply no text subtitle stream).
// - A local medium that is no regular file (a link to a device, a named
//   pipe) is not opened.
// - The packets are read until their text takes more than maxBytes; the
//   cues before are kept, and cutAtBytes tells that the rest was not read.
// - cancel, when set (another read was asked for), ends the read early;
//   the result is then not used.
// Meant for a worker thread.
Transcript readEmbeddedTranscript(const QString &mediumPath, int number = 0,
                                  const std::atomic_bool *cancel = nullptr,
                                  qint64 maxBytes = FileLimits::EmbeddedSubtitleTrack);
