// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: construction, start-up (FormCreate, FormShow), the menu,
// the space key and click toggles, the lock of the player's controls, the
// commands that show the secondary windows, the player's error and
// disconnection events.
#include "app/Unit1.h"

#include "about/Unit2.h"
#include "app/CheckIcon.h"
#include "app/Forms.h"
#include "app/MediumSession.h"
#include "app/TimeText.h"
#include "commands/Unit5.h"
#include "commands/Unit7.h"
#include "lists/Unit10.h"
#include "lists/Unit3.h"
#include "lists/Unit4.h"
#include "lists/Unit6.h"
#include "persist/IniFile.h"
#include "persist/LocalNames.h"
#include "persist/ProgramDir.h"
#include "persist/SettingsKeys.h"
#include "persist/Sync.h"
#include "player/MediaPlayer.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>

namespace
{

// Whether the widget is a field that takes typed text.
bool takesText(const QWidget *widget)
{
    if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QTextEdit *>(widget) ||
        qobject_cast<const QPlainTextEdit *>(widget) ||
        qobject_cast<const QAbstractSpinBox *>(widget))
        return true;
    const auto *combo = qobject_cast<const QComboBox *>(widget);
    return combo && combo->isEditable();
}

// A key that a focused slider moves itself with (the seek bar, the volume).
bool movesSlider(const QWidget *widget, int key)
{
    return qobject_cast<const QAbstractSlider *>(widget) &&
           (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
            key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown ||
            key == Qt::Key_Home || key == Qt::Key_End);
}

} // namespace

bool SaveClicked = false;
bool Shitei = false;
TForm1 *Form1 = nullptr;

namespace
{
const QString kSettingsFileName = QString::fromUtf8(kSettingsFile);
const QString kResumeFileName = QString::fromUtf8(kResumeFile);
const QString kPlaylistFileName = QString::fromUtf8(kPlaylistFile);
} // namespace

TForm1::TForm1(const Services &services, QWidget *parent)
    : QMainWindow(parent), m_services(services)
{
    Form1 = this;
    SaveClicked = false;
    Shitei = false;

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Pelmora"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));

    WindowsMediaPlayer1 = m_services.makePlayer(this);
    WindowsMediaPlayer1->setObjectName(QStringLiteral("WindowsMediaPlayer1"));
    setCentralWidget(WindowsMediaPlayer1);

    StatusBar1 = new QLabel(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->addWidget(StatusBar1, 1);
    statusBar()->setFixedHeight(19);
    statusBar()->setSizeGripEnabled(false);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    // The status update ticks once a second while playing (Unit1Monitor.cpp).
    Timer1->setInterval(IdleMonitorMs);

    buildMenu();
    followPlayback();
    // Ctrl+O beside the menu's "開く(&O)...", which keeps its own look.
    auto *openKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this);
    connect(openKey, &QShortcut::activated, this, &TForm1::O1Click);

    connect(WindowsMediaPlayer1, &MediaPlayer::clicked, this, &TForm1::WindowsMediaPlayer1Click);
    connect(WindowsMediaPlayer1, &MediaPlayer::error, this, &TForm1::WindowsMediaPlayer1Error,
            Qt::QueuedConnection);
    connect(WindowsMediaPlayer1, &MediaPlayer::disconnected, this,
            &TForm1::WindowsMediaPlayer1Disconnect, Qt::QueuedConnection);
    connect(WindowsMediaPlayer1, &MediaPlayer::fullScreenRequested, this,
            &TForm1::setFullScreenVideo);
    connect(WindowsMediaPlayer1, &MediaPlayer::playStateChanged, this, [this] {
        if (!WindowsMediaPlayer1->hasCurrentMedia()) hideProgressTB();
    });
    followEndForAdvance();

    // The sleep timer's "at the end of the playlist": whether the
    // auto-advance will open another entry after this medium.
    WindowsMediaPlayer1->setMoreToCome(
        [this] { return Timer2->isActive() && Form6 && Form6->itemIndex() < Form6->count() - 1; });

    // Client area 624 x 426 below the menu bar, centred when first shown;
    // the windows of further running programs step down and to the right,
    // starting over where the screen ends.
    resize(624, 426 + menuBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QPoint centred = area.center() - rect().center();
        constexpr int kStep = 30;
        const int steps =
            std::min(area.right() - centred.x() - width(), area.bottom() - centred.y() - height()) /
            kStep;
        const int n = m_services.instanceNumber % (std::max(0, steps) + 1);
        move(centred + QPoint(kStep, kStep) * n);
    }

    // Key preview: the window sees key presses before the focused control.
    qApp->installEventFilter(this);
}

TForm1::~TForm1()
{
    // A window torn down without a close (a test, the end of start-up):
    // the engine goes before the windows it draws into.
    if (WindowsMediaPlayer1) WindowsMediaPlayer1->shutdown();
    hideProgressTB();
    qApp->removeEventFilter(this);
    if (Form1 == this) Form1 = nullptr;
}

QString TForm1::settingsPath() const
{
    return programFile(m_services.programDir, kSettingsFileName);
}

QString TForm1::resumePath() const
{
    return programFile(m_services.programDir, kResumeFileName);
}

QString TForm1::playlistPath() const
{
    return programFile(m_services.programDir, kPlaylistFileName);
}

bool TForm1::autoAdvanceOn() const
{
    return Timer2->isActive();
}

void TForm1::setAutoAdvance(bool on)
{
    if (on == Timer2->isActive()) return;
    if (on)
        Timer2->start();
    else
        Timer2->stop();
}

void TForm1::readStudyLog(QDate today, StudyLogReader done)
{
    m_session->readStudyLog(today, std::move(done));
}

void TForm1::setRecentDisabled(bool off)
{
    m_session->setHistoryOn(!off);
    RecentDisable = off;
}

QString TForm1::exactMediumName(const QString &iniText)
{
    return m_session->exactName(iniText);
}

void TForm1::showFolderSettings()
{
    runHandler(*this, nullptr, [&] {
        const QString folder = m_session->folder();
        if (folder.isEmpty()) {
            m_services.dialogs->message(
                this, notice(QStringLiteral("このフォルダーの再生設定"),
                             QStringLiteral("フォルダーにあるファイルを開いてから選んでください。"),
                             MsgIcon::Information));
            return;
        }
        Form10->showFolder(folder, m_session->folderSettings(folder), m_session->playback());
        showModeless(Form10);
    });
}

QStringList TForm1::recentList() const
{
    QStringList list;
    if (!Form4) return list;
    for (int i = 0; i < Form4->ComboBox1->count(); ++i)
        list << Form4->ComboBox1->itemText(i);
    return list;
}

void TForm1::buildMenu()
{
    auto icon = [](int index) { return QIcon(QStringLiteral(":/icons/menu-%1.svg").arg(index)); };
    auto item = [this](QMenu *menu, const char *name, const QString &caption,
                       void (TForm1::*handler)()) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (handler) connect(a, &QAction::triggered, this, handler);
        return a;
    };
    auto check = [](QAction *a) {
        a->setCheckable(true);
        a->setChecked(false);
        return a;
    };
    auto shortcut = [](QAction *a, Qt::Key key) {
        a->setShortcut(QKeySequence(Qt::CTRL | key));
        a->setShortcutContext(Qt::WindowShortcut);
    };

    QMenuBar *bar = menuBar();
    F1 = bar->addMenu(QStringLiteral("ファイル(&F)"));
    F1->setObjectName(QStringLiteral("F1"));
    O1 = item(F1, "O1", QStringLiteral("開く(&O)..."), &TForm1::O1Click);
    O1->setIcon(icon(0));
    T1 = item(F1, "T1", QStringLiteral("再生開始位置を指定して開く(&T)..."), &TForm1::T1Click);
    R3 = item(F1, "R3", QStringLiteral("最近開いたファイル(&R)..."), &TForm1::R3Click);
    F1->addSeparator()->setObjectName(QStringLiteral("N1"));
    E1 = item(F1, "E1", QStringLiteral("現在の再生位置を保存して終了(&S)"), &TForm1::E1Click);
    E1->setEnabled(false);
    X1 = item(F1, "X1", QStringLiteral("終了(&X)"), &TForm1::X1Click);

    R1 = bar->addMenu(QStringLiteral("レジューム(&R)"));
    R1->setObjectName(QStringLiteral("R1"));
    P1 = item(R1, "P1", QStringLiteral("レジューム(&P)"), &TForm1::P1Click);
    P1->setIcon(icon(1));
    P1->setEnabled(false);

    P2 = bar->addMenu(QStringLiteral("再生(&P)"));
    P2->setObjectName(QStringLiteral("P2"));
    N60A1 = item(P2, "N60A1", QStringLiteral("60秒早送り(&A)"), &TForm1::N60A1Click);
    shortcut(N60A1, Qt::Key_F1);
    N30B1 = item(P2, "N30B1", QStringLiteral("30秒早送り(&B)"), &TForm1::N30B1Click);
    shortcut(N30B1, Qt::Key_F2);
    N10C1 = item(P2, "N10C1", QStringLiteral("10秒早送り(&C)"), &TForm1::N10C1Click);
    shortcut(N10C1, Qt::Key_F3);
    N5D1 = item(P2, "N5D1", QStringLiteral("5秒早送り(&D)"), &TForm1::N5D1Click);
    shortcut(N5D1, Qt::Key_F4);
    P2->addSeparator()->setObjectName(QStringLiteral("N5"));
    N60E1 = item(P2, "N60E1", QStringLiteral("60秒巻き戻し(&E)"), &TForm1::N60E1Click);
    shortcut(N60E1, Qt::Key_F5);
    N30F1 = item(P2, "N30F1", QStringLiteral("30秒巻き戻し(&F)"), &TForm1::N30F1Click);
    shortcut(N30F1, Qt::Key_F6);
    N10G1 = item(P2, "N10G1", QStringLiteral("10秒巻き戻し(&G)"), &TForm1::N10G1Click);
    shortcut(N10G1, Qt::Key_F7);
    N5H1 = item(P2, "N5H1", QStringLiteral("5秒巻き戻し(&H)"), &TForm1::N5H1Click);
    shortcut(N5H1, Qt::Key_F8);
    P2->addSeparator()->setObjectName(QStringLiteral("N6"));
    N7 = item(P2, "N7", QStringLiteral("指定位置へ移動(&S)..."), &TForm1::N7Click);
    N7->setIcon(icon(8));
    ABR1 = item(P2, "ABR1", QStringLiteral("A-Bリピート(&R)..."), &TForm1::ABR1Click);
    ABR1->setIcon(icon(9));
    P2->addSeparator()->setObjectName(QStringLiteral("N8"));
    N9 = item(P2, "N9", QStringLiteral("プレイリスト(&L)..."), &TForm1::N9Click);
    N9->setIcon(icon(10));

    O2 = bar->addMenu(QStringLiteral("オプション(&O)"));
    O2->setObjectName(QStringLiteral("O2"));
    C1 = check(item(O2, "C1",
                    QStringLiteral("再生中に他のファイルを再生しようとしたとき確認する(&C)"),
                    nullptr));
    C1->setIcon(checkableIcon(icon(2)));
    N2 = check(item(O2, "N2", QStringLiteral("操作部のロック(&L)"), &TForm1::N2Click));
    N2->setIcon(checkableIcon(icon(3)));
    X2 = check(item(O2, "X2", QStringLiteral("プログラムの終了を防止(&X)"), nullptr));
    X2->setIcon(checkableIcon(icon(7)));
    O2->addSeparator()->setObjectName(QStringLiteral("N3"));
    R2 = item(O2, "R2", QStringLiteral("再生位置の記録（&R）..."), &TForm1::R2Click);
    R2->setIcon(icon(5));

    H1 = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    H1->setObjectName(QStringLiteral("H1"));
    H2 = item(H1, "H2", QStringLiteral("ヘルプ(&H)"), &TForm1::H2Click);
    H2->setIcon(icon(4));
    ReadmeR1 = item(H1, "ReadmeR1", QStringLiteral("Readme(&R)"), &TForm1::ReadmeR1Click);
    ReadmeR1->setIcon(icon(6));
    H1->addSeparator()->setObjectName(QStringLiteral("N4"));
    A1 = item(H1, "A1", QStringLiteral("バージョン情報(&A)..."), &TForm1::A1Click);
}

void TForm1::FormCreate()
{
    // 1. Files dropped from the file manager are handled by DropFiles.
    setAcceptDrops(true);

    // What a write cut short (a killed program) left beside the files.
    removeStaleTemporaries(m_services.programDir);
    // A journal left by a run that did not end normally becomes the resume
    // record before the resume check.
    runHandler(*this, nullptr, [&] { m_session->recoverJournal(resumePath()); });

    // 2. The two files are opened by each read; nothing stays open.
    const IniFile resume(resumePath());
    const IniFile settings(settingsPath());
    runHandler(*this, nullptr, [&] {
        // 3. The volume, passed on as read.
        WindowsMediaPlayer1->setVolume(
            static_cast<int>(settings.readInteger(SettingsKeys::Volume)));
        // 4. The history switch.
        if (!settings.readBool(SettingsKeys::RecentEnable)) RecentDisable = true;
        // 5. The resume check.
        if (!resume.valueExists(SettingsKeys::ResumeSecond)) return;
        const QString fileName = resume.readString(SettingsKeys::ResumeFileName);
        const double second = resume.readFloat(SettingsKeys::ResumeSecond);
        Message notice;
        notice.caption = QStringLiteral("レジューム可能なファイルがあります");
        notice.icon = MsgIcon::Information;
        notice.text =
            QStringLiteral("途中から再生できるファイルがあります：\n") + fileNamePart(fileName) +
            QStringLiteral("（") + timeText(second) + QStringLiteral("～）") +
            QStringLiteral("\n") +
            QStringLiteral(
                "このファイルを途中から再生するには「レジューム」をクリックしてください。");
        m_services.dialogs->message(this, notice);
        P1->setEnabled(true);
        SaveClicked = false;
    });
    // The playback speed and the silence skipping of the last run.
    runHandler(*this, nullptr, [&] {
        WindowsMediaPlayer1->setSpeed(settings.readFloat(SettingsKeys::PlaybackSpeed));
        WindowsMediaPlayer1->setSkipSilence(settings.readBool(SettingsKeys::PlaybackSkipSilence));
        WindowsMediaPlayer1->setVoiceBoost(settings.readBool(SettingsKeys::PlaybackVoiceBoost));
    });
    // The global settings: what a medium in a folder never played opens with.
    try {
        m_session->takeGlobalPlayback();
    } catch (const std::exception &) {
    }
    // Smart rewind's pauses and the study log's stretches on the program's clock.
    const Clock *clock = m_services.clock;
    const auto now = [clock] { return clock->nowMs(); };
    WindowsMediaPlayer1->setRewindClock(now);
    WindowsMediaPlayer1->setStudyClock(now, [clock] { return clock->steadyMs(); });
    runHandler(*this, nullptr, [&] {
        WindowsMediaPlayer1->setRewindAfterPause(
            settings.readBool(SettingsKeys::PlaybackRewindAfterPause));
        m_session->setResumeOnOpen(settings.readBool(SettingsKeys::PlaybackResumeOnOpen));
    });
    // The synced folder shared with other computers, if any.
    runHandler(*this, nullptr, [&] { m_session->setSync(SyncSettings::read(settingsPath())); });
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        // The keyboard starts on the picture: the space key is the
        // window's toggle, and Tab leads on to the control bar.
        WindowsMediaPlayer1->setFocus(Qt::OtherFocusReason);
        FormShow();
    }
}

void TForm1::FormShow()
{
    if (!m_services.programDirNote.isEmpty())
        statusBar()->showMessage(m_services.programDirNote, 15000);
    runHandler(*this, nullptr, [&] {
        if (m_services.arguments.isEmpty()) return;
        if (Timer2->isActive()) Timer2->stop();
        // A file named relative to the terminal's directory is entered with
        // its full path, so that the recent list and the resume record still
        // find it from another directory.
        QString name = m_services.arguments.constFirst();
        if (QFileInfo(name).isRelative() && localNameIsFile(name)) name = localNameAbsolute(name);
        OpenFile(name);
    });
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        // Key events travel up from the focused control; act once, at the
        // control that received the key, and only for this window.
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : this;
        if (widget == target && widget->window() == this) {
            // Esc leaves full screen, also while the player's controls are
            // locked.
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && isFullScreen())
                setFullScreenVideo(false);
            const auto *key = static_cast<QKeyEvent *>(event);
            const QString text = key->text();
            if (text.size() == 1) FormKeyPress(text.at(0));
            // The player component's own keys, unless a text field has the
            // focus (or a slider, for the keys that move it); the space key
            // and the menu's keys are not among them.
            if (!takesText(target) && !movesSlider(target, key->key()) &&
                WindowsMediaPlayer1->handleKey(*key))
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// The toggle of the space key and the click: unless the player's controls are
// locked, a playing medium pauses and a paused one plays; otherwise nothing.
void TForm1::togglePause()
{
    runHandler(*this, nullptr, [&] {
        if (!N2->isChecked() && WindowsMediaPlayer1->playState() == MediaPlayer::Playing)
            WindowsMediaPlayer1->pause();
        else if (!N2->isChecked() && WindowsMediaPlayer1->playState() == MediaPlayer::Paused)
            WindowsMediaPlayer1->play();
    });
}

void TForm1::FormKeyPress(QChar key)
{
    if (key == QChar(32)) togglePause();
}

void TForm1::WindowsMediaPlayer1Click(int nButton, int, double, double)
{
    if (nButton == 1) togglePause();
}

void TForm1::WindowsMediaPlayer1Error()
{
    showErrorReport(m_services.dialogs, this, QStringLiteral("WMPエラー"),
                    QStringLiteral("WMPエラー"));
}

void TForm1::WindowsMediaPlayer1Disconnect(int)
{
    Timer1->stop();
}

void TForm1::N2Click()
{
    // The check mark has flipped already.
    runHandler(*this, nullptr, [&] {
        WindowsMediaPlayer1->setPlayerEnabled(!WindowsMediaPlayer1->playerEnabled());
    });
}

void TForm1::A1Click()
{
    showModeless(Form2);
}

void TForm1::R3Click()
{
    showModeless(Form4);
}

void TForm1::N7Click()
{
    showModeless(Form5);
}

void TForm1::ABR1Click()
{
    showModeless(Form7);
}

void TForm1::N9Click()
{
    showModeless(Form6);
}

void TForm1::R2Click()
{
    showModeless(Form3);
}

void TForm1::setFullScreenVideo(bool on)
{
    if (on == isFullScreen()) return;
    if (on) {
        menuBar()->hide();
        statusBar()->hide();
        showFullScreen();
    } else {
        showNormal();
        menuBar()->show();
        statusBar()->show();
    }
    emit fullScreenChanged(on);
}

Dialogs *TForm1::handlerDialogs() const
{
    return m_unattended && m_services.consoleDialogs ? m_services.consoleDialogs
                                                     : m_services.dialogs;
}

bool TForm1::closeUnattended(bool forced)
{
    m_unattended = true;
    m_forcedClose = forced;
    // A window never shown gets no close event from close(): the close query
    // runs all the same.
    const bool closed = isVisible() ? close() : (m_closeAllowed || FormCloseQuery());
    if (closed) m_closeAllowed = true;
    m_unattended = m_forcedClose = false;
    return closed;
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (m_closeAllowed || FormCloseQuery()) {
        m_closeAllowed = true;
        // The platform window goes as soon as this event is accepted, and the
        // engine's own window inside it with it: the engine must let go of it
        // first, or its video output meets a dead window.
        WindowsMediaPlayer1->shutdown();
        event->accept();
    } else {
        event->ignore();
    }
}

QString fileNamePart(const QString &fileName)
{
    const qsizetype cut = std::max(
        {fileName.lastIndexOf(u'\\'), fileName.lastIndexOf(u'/'), fileName.lastIndexOf(u':')});
    return fileName.mid(cut + 1);
}

QString captionName(const QString &fileName)
{
    const QString name = fileNamePart(fileName);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}
