// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Flow.h"

#include "about/Unit2.h"
#include "app/CoverArt.h"
#include "app/DesktopIntegration.h"
#include "app/Forms.h"
#include "app/Guard.h"
#include "app/MediumSession.h"
#include "app/Mpris.h"
#include "app/TimeText.h"
#include "app/Unit1.h"
#include "app/Unit12.h"
#include "commands/Unit5.h"
#include "commands/Unit7.h"
#include "lists/Unit10.h"
#include "lists/Unit11.h"
#include "lists/Unit3.h"
#include "lists/Unit4.h"
#include "lists/Unit6.h"
#include "lists/Unit8.h"
#include "lists/Unit9.h"
#include "persist/CourseSettings.h"
#include "persist/IniFile.h"
#include "persist/LocalNames.h"
#include "persist/SettingsKeys.h"
#include "persist/StoreLink.h"
#include "persist/Sync.h"
#include "player/MediaPlayer.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QPointer>
#include <QStatusBar>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

#include <cmath>

static void initResources()
{
    // The pictures live in the windows' static library: register them.
    Q_INIT_RESOURCE(resources);
}

namespace
{

// ---- the player to the windows ------------------------------------------------

// Once the main window has painted itself: what was left out of the start.
class AfterFirstPaint : public QObject
{
public:
    AfterFirstPaint(QWidget *window, std::function<void()> then)
        : QObject(window), m_then(std::move(then))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, parent(), m_then);
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

void wirePlayerToWindows(TForm1 *main, TForm6 *playlist, TForm3 *records)
{
    // Where the sleep timer paused: a record "おやすみ 23:41" at that place,
    // with the clock time its fade began there.
    const Clock *clock = main->services().clock;
    QObject::connect(main->WindowsMediaPlayer1, &MediaPlayer::fellAsleep, records,
                     [records, clock](double position, qint64 agoMs) {
                         records->addRecord(
                             std::llround(position * 1000.0),
                             QStringLiteral("おやすみ ") +
                                 clock->now().addMSecs(-agoMs).toString(QStringLiteral("HH:mm")));
                     });
    // A long playlist is read once the main window is up.
    new AfterFirstPaint(main, [playlist] { playlist->finishLoading(); });
    // The playlist shows which of its entries plays.
    MediaPlayer *player = main->WindowsMediaPlayer1;
    // The first video then starts as fast as the next.
    new AfterFirstPaint(main, [player] { player->prepareVideo(); });
    QObject::connect(player, &MediaPlayer::playStateChanged, playlist, [player, playlist] {
        playlist->setPlaying(player->hasCurrentMedia() ? player->url() : QString());
    });
}

// The transcript window: opened by the key T and the picture's context menu;
// its lines become position records, and the records' notes carry its text.
QAction *wireTranscript(TForm1 *main, TForm3 *records, TForm8 *transcript)
{
    MediaPlayer *player = main->WindowsMediaPlayer1;
    auto *open = new QAction(QStringLiteral("文字起こし(&T)..."), main);
    open->setObjectName(QStringLiteral("Transcript1"));
    player->addMenuAction(open);
    QObject::connect(open, &QAction::triggered, transcript, &TForm8::openForMedium);
    QObject::connect(player, &MediaPlayer::transcriptRequested, transcript, &TForm8::openForMedium);
    transcript->captionName = [](const QString &medium) { return captionName(medium); };
    QObject::connect(transcript, &TForm8::recordRequested, records,
                     [records](qint64 ms, const QString &text) { records->addRecord(ms, text); });
    QObject::connect(transcript, &TForm8::exportNotesRequested, records, &TForm3::ExportNotesClick);
    QObject::connect(transcript, &TForm8::importNotesRequested, records, [records] {
        records->ImportNotesClick();
        showModeless(records);
    });
    records->cueTextAt = [transcript](const QString &medium, qint64 ms) {
        return transcript->cueTextAt(medium, ms);
    };
    return open;
}

// The course shelf: opened by the key L and the "学習" menu; the folder
// settings keep the course's exam date.
QAction *wireShelf(TForm1 *main, MediumSession *session, TForm10 *folderSettings)
{
    StoreLink *link = session->storeLink();
    Form11 = new TForm11(*main, link, main);
    Form11->globalPlayback = [session] { return session->globalPlayback(); };
    auto *open = new QAction(QStringLiteral("講座一覧(&L)..."), main);
    open->setObjectName(QStringLiteral("shelfAction"));
    QObject::connect(open, &QAction::triggered, Form11, [] { showModeless(Form11); });
    QObject::connect(main->WindowsMediaPlayer1, &MediaPlayer::shelfRequested, Form11,
                     [] { showModeless(Form11); });
    const Clock *clock = main->services().clock;
    folderSettings->readExam = [link, clock, folderSettings](const QString &folder) {
        const QDate today = clock->now().date();
        QPointer<TForm10> form(folderSettings);
        link->read([=](HistoryStore &store) -> std::function<void()> {
            const std::optional<QDate> exam = store.course(folder).exam;
            return [=] {
                if (form && form->folder() == folder) form->showExam(exam, today);
            };
        });
    };
    folderSettings->onExam = [link](const QString &folder, std::optional<QDate> exam) {
        link->post([folder, exam](HistoryStore &store) { store.setCourseExam(folder, exam); });
    };
    return open;
}

// The last recording opened is gone (moved, its folder renamed): the picture
// offers to look for it by what it held in the folders of the other recent
// files, and opens it at its place when it is found.
void offerToLookFor(TForm1 *main, MediumSession *session, const QString &last,
                    const QStringList &others, const QString &hint)
{
    MediaPlayer *player = main->WindowsMediaPlayer1;
    player->setStartHint(hint, QStringLiteral("前回のファイル %1 を探す").arg(captionName(last)));
    QStringList folders;
    for (const QString &other : others)
        folders << CourseSettings::folderOf(other);
    folders.removeAll(QString());
    folders.removeDuplicates();
    QObject::connect(player, &MediaPlayer::startOfferTaken, main, [=] {
        if (player->hasCurrentMedia()) return;
        main->statusBar()->showMessage(QStringLiteral("%1 を探しています…").arg(captionName(last)));
        session->findMoved(last, folders, [=](const QString &found) {
            main->statusBar()->clearMessage();
            runHandler(*main, nullptr, [&] {
                if (found.isEmpty()) {
                    main->services().dialogs->message(
                        main, notice(QStringLiteral("ファイルが見つかりません"),
                                     QStringLiteral("%1 は見つかりません。最近開いたファイルの"
                                                    "フォルダーに、同じ内容のファイルはありません"
                                                    "でした。")
                                         .arg(QDir::toNativeSeparators(last)),
                                     MsgIcon::Information));
                    return;
                }
                if (player->hasCurrentMedia()) return;
                main->setAutoAdvance(false);
                main->OpenFile(found);
                player->takeOfferedPlace();
            });
        });
    });
}

// With nothing loaded, the picture tells how to begin and offers the last
// recording opened, at its kept place where the place store has one.
void showStartHint(TForm1 *main, MediumSession *session)
{
    MediaPlayer *player = main->WindowsMediaPlayer1;
    const QString hint =
        QStringLiteral("Ctrl+O でファイルを開くか、ここにファイルをドロップしてください。\n"
                       "続けて聞くファイルは「再生」メニューの「プレイリスト」に並べられます。");
    player->setStartHint(hint, QString());
    const QStringList recent = main->recentList();
    const QString last = recent.isEmpty() ? QString() : recent.constFirst();
    if (last.isEmpty() || CourseSettings::folderOf(last).isEmpty()) return;
    if (!localNameIsFile(last)) {
        offerToLookFor(main, session, last, recent.mid(1), hint);
        return;
    }
    session->readPlace(last, [player, hint, last](std::optional<double> place) {
        const QString caption =
            place ? QStringLiteral("前回の続き: %1 (%2)").arg(captionName(last), timeText(*place))
                  : QStringLiteral("前回のファイル: %1").arg(captionName(last));
        player->setStartHint(hint, caption);
    });
    QObject::connect(player, &MediaPlayer::startOfferTaken, main, [main, player, last] {
        runHandler(*main, nullptr, [&] {
            if (player->hasCurrentMedia()) return;
            main->setAutoAdvance(false);
            main->OpenFile(last);
            // Where it was left: the place it offers.
            player->takeOfferedPlace();
        });
    });
}

// ---- the program to the desktop -----------------------------------------------

Mpris::Track trackOf(MediaPlayer *player)
{
    Mpris::Track track;
    if (!player->hasCurrentMedia()) return track;
    try {
        const QString url = player->url();
        const QUrl asUrl(url);
        track.url = asUrl.scheme().size() > 1 ? asUrl.toString() : localNameToUrl(url).toString();
        const QVariantMap tags = player->tags();
        track.title = tags.value(QStringLiteral("title")).toString();
        if (track.title.isEmpty()) track.title = captionName(url);
        const QString artist = tags.value(QStringLiteral("artist")).toString();
        if (!artist.isEmpty()) track.artists << artist;
        track.album = tags.value(QStringLiteral("album")).toString();
        track.length = player->duration();
        const QImage art = player->coverArt();
        if (!art.isNull()) track.artUrl = coverArtUrl(art, url);
    } catch (const std::exception &) {
        // Told again at the next change.
    }
    return track;
}

Mpris::Status statusOf(const MediaPlayer *player)
{
    switch (player->playState()) {
    case MediaPlayer::Playing:
        return Mpris::Status::Playing;
    case MediaPlayer::Paused:
        return Mpris::Status::Paused;
    default:
        return Mpris::Status::Stopped;
    }
}

void pushStateToDesktop(TForm1 *main, TForm6 *playlist, Mpris *mpris)
{
    MediaPlayer *player = main->WindowsMediaPlayer1;
    auto medium = [player, mpris] {
        mpris->setStatus(statusOf(player));
        mpris->setTrack(trackOf(player));
    };
    QObject::connect(player, &MediaPlayer::playStateChanged, mpris, medium);
    QObject::connect(player, &MediaPlayer::mediumInfoChanged, mpris, medium);
    QObject::connect(mpris, &Mpris::positionWanted, player, [player, mpris] {
        try {
            mpris->setPosition(player->hasCurrentMedia() ? player->currentPosition() : 0.0);
        } catch (const std::exception &) {
        }
    });
    QObject::connect(player, &MediaPlayer::speedChanged, mpris, &Mpris::setRate);
    QObject::connect(player, &MediaPlayer::volumeChanged, mpris,
                     [mpris](int volume) { mpris->setVolume(volume / 100.0); });
    QObject::connect(player, &MediaPlayer::seeked, mpris, &Mpris::announceSeek);
    QObject::connect(player, &MediaPlayer::silencePassed, mpris, &Mpris::announceSeek);
    auto cursor = [playlist, mpris] {
        const PlaylistCursor *c = playlist;
        mpris->setCanGoNext(c->nextEntry() >= 0);
        mpris->setCanGoPrevious(c->previousEntry() >= 0);
    };
    QObject::connect(playlist, &TForm6::cursorChanged, mpris, cursor);
    QObject::connect(main->X2, &QAction::toggled, mpris,
                     [mpris](bool prevented) { mpris->setCanQuit(!prevented); });
    QObject::connect(main, &TForm1::fullScreenChanged, mpris, &Mpris::setFullscreen);
    // Requests wait until start-up is through, and while a box waits for an
    // answer.
    mpris->setAccepting(
        [main] { return main->isVisible() && QApplication::activeModalWidget() == nullptr; });
    medium();
    // A long list still to be read tells its cursor once it is read.
    if (!playlist->loadPending()) cursor();
    try {
        mpris->setRate(player->speed());
        mpris->setVolume(player->volume() / 100.0);
    } catch (const std::exception &) {
    }
    mpris->setCanQuit(!main->X2->isChecked());
}

// ---- the desktop's requests to the program --------------------------------------

void takeDesktopRequests(TForm1 *main, TForm6 *playlist, Mpris *mpris)
{
    MediaPlayer *player = main->WindowsMediaPlayer1;
    // The player's own operations, guarded as the program's handlers are.
    auto onPlayer = [main](auto &&body) {
        return [main, body] { runHandler(*main, nullptr, body); };
    };
    QObject::connect(mpris, &Mpris::playRequested, main, onPlayer([player] { player->play(); }));
    QObject::connect(mpris, &Mpris::pauseRequested, main, onPlayer([player] { player->pause(); }));
    QObject::connect(mpris, &Mpris::stopRequested, main, onPlayer([player] { player->stop(); }));
    QObject::connect(mpris, &Mpris::positionRequested, main, [main, player](double seconds) {
        runHandler(*main, nullptr, [&] { player->setCurrentPosition(seconds); });
    });
    QObject::connect(mpris, &Mpris::volumeRequested, main, [main, player](int volume) {
        runHandler(*main, nullptr, [&] { player->setVolume(volume); });
    });
    QObject::connect(mpris, &Mpris::rateRequested, main, [main, player](double rate) {
        runHandler(*main, nullptr, [&] { player->setSpeed(rate); });
    });
    QObject::connect(mpris, &Mpris::fullscreenRequested, main, &TForm1::setFullScreenVideo);
    PlaylistCursor *cursor = playlist;
    QObject::connect(mpris, &Mpris::nextRequested, playlist,
                     [cursor] { cursor->playEntry(cursor->nextEntry()); });
    QObject::connect(mpris, &Mpris::previousRequested, playlist,
                     [cursor] { cursor->playEntry(cursor->previousEntry()); });
    QObject::connect(mpris, &Mpris::openRequested, main, [main](const QString &fileName) {
        runHandler(*main, nullptr, [&] {
            main->setAutoAdvance(false);
            main->OpenFile(fileName);
        });
    });
    // Through the close query, as every close.
    QObject::connect(mpris, &Mpris::quitRequested, main, [main] { main->close(); });
    QObject::connect(mpris, &Mpris::raiseRequested, main, [main] {
        if (main->isMinimized()) main->showNormal();
        main->show();
        main->raise();
        main->activateWindow();
    });
}

// "同期フォルダー...": the folder shared with other computers, chosen in
// the picture's context menu; it is read once the main window has painted
// itself, off the GUI thread.
void wireSyncFolder(const Services &services, MediumSession *session)
{
    Form12 = new TForm12(services.dialogs, Form1);
    Form12->onAccept = [session](const QString &folder, const QString &name) {
        runHandler(*Form1, nullptr, [&] {
            const QString path = Form1->settingsPath();
            if (!name.isEmpty()) IniFile(path).writeString(SettingsKeys::SyncDeviceName, name);
            session->setSync(SyncSettings::choose(path, folder));
            session->syncNow();
        });
    };
    auto *choose = new QAction(QStringLiteral("同期フォルダー(&Y)..."), Form1);
    choose->setObjectName(QStringLiteral("syncFolderAction"));
    QObject::connect(choose, &QAction::triggered, Form1, [] {
        runHandler(*Form1, nullptr, [&] {
            const IniFile ini(Form1->settingsPath());
            QString name = ini.readString(SettingsKeys::SyncDeviceName);
            if (name.isEmpty()) name = QSysInfo::machineHostName();
            Form12->showChoice(ini.readString(SettingsKeys::SyncFolder), name);
            showModeless(Form12);
        });
    });
    Form1->WindowsMediaPlayer1->addMenuAction(choose);
    new AfterFirstPaint(Form1, [session] { session->syncNow(); });
}

} // namespace

void createForms(const Services &services)
{
    initResources();
    Form1 = new TForm1(services);
    // The session of the recording loaded, before the main window's creation
    // handler (which recovers the journal and reads the playback settings).
    auto *session = new MediumSession(services, *Form1, Form1->WindowsMediaPlayer1, Form1);
    Form1->setSession(session);
    // Told calmly, once per run, in the status bar.
    auto tell = [](const QString &text) { Form1->statusBar()->showMessage(text, 15000); };
    QObject::connect(session, &MediumSession::trouble, Form1, tell);
    QObject::connect(session, &MediumSession::said, Form1, tell);
    Form1->FormCreate();
    Form2 = new TForm2(*Form1, Form1);
    Form2->FormCreate();
    Form3 = new TForm3(*Form1, Form1);
    Form3->FormCreate();
    // The position records shown are the recording's that plays.
    QObject::connect(session, &MediumSession::recordsOpened, Form3, &TForm3::showRecords);
    QObject::connect(Form3, &TForm3::recordsChanged, session, &MediumSession::keepRecords);
    QObject::connect(session, &MediumSession::leaving, Form3, &TForm3::keepRecordsNow);
    Form4 = new TForm4(*Form1, Form1);
    Form4->FormCreate();
    Form5 = new TForm5(*Form1, Form1);
    Form5->FormCreate();
    Form6 = new TForm6(*Form1, Form1);
    QObject::connect(Form6, &TForm6::told, Form1, tell);
    Form6->FormCreate();
    Form7 = new TForm7(*Form1, Form1);
    Form7->FormCreate();
    Form8 = new TForm8(*Form1, Form1);
    Form8->FormCreate();
    Form9 = new TForm9(*Form1, Form1);
    Form10 = new TForm10(Form1);
    Form10->onAccept = [session](const QString &folder, const KeptSettings &settings) {
        runHandler(*Form1, nullptr, [&] { session->keepFolderSettings(folder, settings); });
    };
    Form10->onDefaults = [session](const CoursePlayback &playback) {
        session->setGlobalPlayback(playback);
    };
    QAction *shelf = wireShelf(Form1, session, Form10);

    // The program's own windows in the picture's context menu.
    auto *studyLog = new QAction(QStringLiteral("学習記録(&G)..."), Form1);
    studyLog->setObjectName(QStringLiteral("studyLogAction"));
    QObject::connect(studyLog, &QAction::triggered, Form9, [] { showModeless(Form9); });
    Form1->WindowsMediaPlayer1->addMenuAction(studyLog);

    wirePlayerToWindows(Form1, Form6, Form3);
    QAction *transcript = wireTranscript(Form1, Form3, Form8);
    // The picture's context menu: the playback settings of the folder.
    auto *folderSettings = new QAction(QStringLiteral("このフォルダーの再生設定(&O)..."), Form1);
    folderSettings->setObjectName(QStringLiteral("folderSettingsAction"));
    QObject::connect(folderSettings, &QAction::triggered, Form1, &TForm1::showFolderSettings);
    Form1->WindowsMediaPlayer1->addMenuAction(folderSettings);
    // The option to go on at the kept place at once, kept in the settings
    // file when it is switched.
    auto *resumeOnOpen = new QAction(QStringLiteral("開いたら続きから再生する(&U)"), Form1);
    resumeOnOpen->setObjectName(QStringLiteral("resumeOnOpenAction"));
    resumeOnOpen->setCheckable(true);
    resumeOnOpen->setChecked(session->resumesOnOpen());
    QObject::connect(resumeOnOpen, &QAction::toggled, Form1, [session](bool on) {
        session->setResumeOnOpen(on);
        runHandler(*Form1, nullptr, [&] {
            IniFile(Form1->settingsPath()).writeBool(SettingsKeys::PlaybackResumeOnOpen, on);
        });
    });
    Form1->WindowsMediaPlayer1->addMenuAction(resumeOnOpen);
    wireSyncFolder(services, session);
    // The control bar's "学習" menu: the study windows, one action each.
    auto *records = new QAction(QStringLiteral("再生位置の記録(&K)..."), Form1);
    records->setObjectName(QStringLiteral("recordsAction"));
    QObject::connect(records, &QAction::triggered, Form1, &TForm1::R2Click);
    for (QAction *study : {transcript, records, studyLog, folderSettings, shelf})
        Form1->WindowsMediaPlayer1->addStudyAction(study);
    showStartHint(Form1, session);
    auto *desktop = new DesktopIntegration(Form1->WindowsMediaPlayer1, Form1);
    pushStateToDesktop(Form1, Form6, desktop->mpris());
    takeDesktopRequests(Form1, Form6, desktop->mpris());
    desktop->publish();
}

void destroyForms()
{
    // A transcript window still open keeps its place while the main window,
    // whose settings path it needs, is whole.
    if (Form8 && Form8->isVisible()) Form8->savePlace();
    // The secondary windows are children of the main window.
    delete Form1;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
    Form5 = nullptr;
    Form6 = nullptr;
    Form7 = nullptr;
    Form8 = nullptr;
    Form9 = nullptr;
    Form10 = nullptr;
    Form11 = nullptr;
    Form12 = nullptr;
}
