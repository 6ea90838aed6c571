// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player/MediaPlayer.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class MainWindowHost;
class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QThreadPool;
class TranscriptModel;
struct Transcript;

// Where a medium's transcript is read from: a subtitle file, or a subtitle
// stream inside the medium (counted from 1 among its subtitle streams; 0:
// the first text one).
struct TranscriptSource {
    QString file;
    int embedded = -1;
    bool operator==(const TranscriptSource &) const = default;
};

// The transcript window "文字起こし - <medium>": the cues of the medium's
// subtitles as a list to read along with, searched as the user types.
//
// - The cues come from the subtitle track chosen in the player (a file
//   beside the medium or a stream inside it), otherwise from the first
//   subtitle file beside the medium, otherwise from its first text subtitle
//   stream. They are read on a worker thread; a source that gives none
//   shows why in a line below the list.
// - While the search field is not empty, its matches show as thin marks on
//   the seek bar.
// - While playing, the cue that plays is highlighted and kept in view,
//   unless the user has scrolled or searched in the last 5 seconds.
// - Double-click or Enter: playback moves to the cue's start (a paused
//   medium stays paused). F3 / Shift+F3: the next / previous row, played
//   from its start. Ctrl+C copies the selected rows with their times.
//   Insert or "この行を記録": a position record at the cue's start.
// - Closing only hides it; its place and size are kept in the settings
//   file.
class TForm8 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm8(MainWindowHost &host, QWidget *parent = nullptr);
    ~TForm8() override;

    QLineEdit *Edit1 = nullptr;     // "検索"
    QListView *ListBox1 = nullptr;  // the cues
    QLabel *Label1 = nullptr;       // what was read, or why nothing was
    QPushButton *Button1 = nullptr; // "メモを書き出す..."
    QPushButton *Button2 = nullptr; // "メモを読み込む..."
    QPushButton *Button3 = nullptr; // "閉じる(&X)"
    QAction *RecordLine1 = nullptr; // "この行を記録"
    TranscriptModel *model() const { return m_model; }

    // The medium's name as the main window's caption gives it.
    std::function<QString(const QString &)> captionName;

    // Keeps the window's place and size in the settings file (when it hides,
    // and before the program ends while it is open).
    void savePlace() const;
    void FormCreate();
    // Shows the window for the medium that is loaded (the key T, the
    // picture's context menu), reading its transcript when it is not read.
    void openForMedium();
    // Reads the cues of a medium (on a worker); `finished` follows.
    void load(const QString &medium, const TranscriptSource &source);
    bool loading() const;

    // Where to read a medium's transcript from, given the player's tracks.
    static TranscriptSource sourceFor(const QString &medium,
                                      const QList<MediaPlayer::Track> &tracks);

    // The text of the cues under a time (ms) of a medium (empty: the one
    // shown); empty without a transcript of that medium.
    QString cueTextAt(const QString &medium, qint64 ms) const;

    void playRow(int row, bool startPlaying);
    void recordRows();
    void findMatch(bool backward);
    void copyRows() const;
    // The position as it plays: the highlight follows it.
    void followPosition(double seconds);

signals:
    // A position record at ms with the cue's text.
    void recordRequested(qint64 ms, const QString &text);
    void exportNotesRequested();
    void importNotesRequested();
    // A read has ended (its cues are shown, or why there are none).
    void finished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    MainWindowHost &m_host;
    TranscriptModel *m_model = nullptr;
    QThreadPool *m_pool = nullptr;
    QFutureWatcher<std::shared_ptr<const Transcript>> *m_watcher = nullptr;
    QString m_medium;                           // the medium it was opened for
    TranscriptSource m_source;                  // what was read, or is being read
    std::shared_ptr<std::atomic_bool> m_cancel; // ends the read under way
    QDateTime m_userActive;                     // the last scroll or search of the user
    bool m_autoScroll = false;
    bool m_loading = false;
    bool m_placed = false;
    int m_generation = 0;

    void refresh();
    void showTranscript(std::shared_ptr<const Transcript> transcript);
    void showCount();
    // The search's matches as marks on the seek bar, while it is on.
    void showFound();
    void userActed();
    bool userActedLately() const;
    QList<int> chosenRows() const;
    void restorePlace();
};

extern TForm8 *Form8;
