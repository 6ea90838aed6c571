// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/PlaylistBox.h"
#include "lists/PlaylistCursor.h"
#include "lists/Shuffle.h"
#include "persist/ListFile.h"

#include <QLine>
#include <QListWidget>
#include <QPersistentModelIndex>
#include <QWidget>

#include <functional>

class MainWindowHost;
class QGroupBox;
class QLabel;
class QPushButton;
class QThreadPool;
class QTimer;
class TForm6;

// The playlist window "プレイリスト": the entries of ListBox1, at most one
// selected; the selection is also the auto-advance cursor.
class TForm6 : public QWidget, public PlaylistCursor
{
    Q_OBJECT

public:
    explicit TForm6(MainWindowHost &host, QWidget *parent = nullptr);
    ~TForm6() override;

    QLabel *Label1 = nullptr;
    PlaylistBox *ListBox1 = nullptr;
    QPushButton *Button1 = nullptr; // "▲"
    QPushButton *Button2 = nullptr; // "▼"
    QPushButton *Button3 = nullptr; // "クリア..."
    QPushButton *Button4 = nullptr; // "消去"
    QPushButton *Button5 = nullptr; // "追加..."
    QPushButton *Button6 = nullptr; // "開く..."
    QPushButton *Button7 = nullptr; // "保存..."
    QPushButton *Button9 = nullptr; // "閉じる"
    QGroupBox *GroupBox1 = nullptr; // "オプション"
    QPushButton *Button8 = nullptr; // "シャッフル(&S)..."
    // "フォルダーを追加(&D)...", beside the shuffle (and in the list's
    // context menu).
    QPushButton *FolderButton = nullptr;

    // The encoding the list keeps (that of the last file read into it).
    TextEncoding encoding = TextEncoding::Cp932;

    // Loads "Playlist.txt" when it exists; a long one (over
    // DeferredLoadBytes) when finishLoading() runs, or anything asks the
    // list first.
    void FormCreate();
    void finishLoading() const;
    bool loadPending() const { return m_loadPending; }
    static constexpr qint64 DeferredLoadBytes = 256 * 1024;

    void Button1Click(); // move up
    void Button2Click(); // move down
    void Button3Click(); // clear
    void Button4Click(); // delete
    void Button5Click(); // add
    void Button6Click(); // load
    void Button7Click(); // save
    void Button8Click(); // shuffle
    void Button9Click(); // close
    // Appends the media files of a folder chosen, in natural order of their
    // names; the folder is listed off the GUI thread.
    void AddFolderClick();
    // Whether a folder or an M3U playlist is being read.
    bool reading() const { return m_reading > 0; }
    void ListBox1DblClick();
    // The entries after and before the selected one (-1: none; with no
    // selection the next one is the first), and playing one of them as a
    // double-click does (the desktop's media keys).
    int nextEntry() const override;
    int previousEntry() const override;
    void playEntry(int index) override;
    // Files dropped on the list, in the order delivered.
    void DropFiles(const QStringList &names);

    // Reordering by drag and drop (source: the object the drag comes from;
    // X, Y in the list's viewport).
    void ListBox1StartDrag();
    bool ListBox1DragOver(QObject *source, int X, int Y);
    void ListBox1DragLeave(QObject *source);
    void ListBox1DragDrop(QObject *source, int X, int Y);

    // The entries, their number and the selected index (-1 for none).
    QStringList entries() const;
    int count() const;
    int itemIndex() const;
    // Selects an entry; an index outside the list selects none.
    void setItemIndex(int index);
    // Replaces all entries (the selection is lost).
    void setEntries(const QStringList &entries);

    // The medium that plays (empty: none): its entry is shown bold (the
    // selected one when it names the medium, else the first that does),
    // without touching the entries.
    void setPlaying(const QString &name);
    int playingRow() const;

    // Whether the widest entry width (for the extent rule) is known; after
    // a load it is measured in short slices while the program is idle.
    bool widestWidthKnown() const { return m_maxWidthValid; }

signals:
    // The entries or the selection changed (and with them the cursor).
    void cursorChanged();
    // A word for the main window's status bar (lines of an M3U playlist
    // skipped, a folder without media).
    void told(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    MainWindowHost &m_host;
    // Reads a playlist file: an M3U one off the GUI thread, a list file at
    // once.
    void loadList(const QString &name);
    // Runs work on the window's reading thread; done gets its result here,
    // or the error's message is shown.
    void readOff(std::function<QStringList(int *skipped)> work,
                 std::function<void(const QStringList &, int skipped)> done);
    QThreadPool *m_pool = nullptr;
    int m_reading = 0;
    int m_listSerial = 0; // the list opened last: an older read is dropped
    void appendEntries(const QStringList &names);
    int entryWidth(const QString &text) const;
    // The widest entry text in pixels, kept for the extent rule so that an
    // addition does not measure the whole list again: measured once after
    // the entries changed otherwise than by appending (in slices while idle),
    // then kept up to date as entries are appended.
    void entriesReplaced();
    void orderChanged();
    bool measureWidths(qint64 budgetNanoseconds);
    // An addition made while the list is measured sets the extent from what
    // is known; the rest follows when the measurement ends, or at once
    // before entries that it counted are removed.
    void settlePendingExtent();
    bool m_extentPending = false;
    int m_maxWidth = 0;
    bool m_maxWidthValid = true;
    int m_measuredRows = 0;
    QTimer *m_measureTimer = nullptr;
    void markPlaying();
    void loadPlaylistFile();
    bool m_loadPending = false;
    QString m_playing;
    QPersistentModelIndex m_playingIndex;
    QTimer *m_markTimer = nullptr;
};

// During a drag, the entry at which the insertion line is drawn at the
// moment; -1 when none is drawn.
extern int PrevItemIndex;

// Draws the insertion line for entry Index (XOR: drawing it again erases it);
// nothing for -1.
void DrawMoveLine(PlaylistBox *ListBox, int Index);

extern TForm6 *Form6;
