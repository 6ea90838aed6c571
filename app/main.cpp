// SPDX-License-Identifier: GPL-3.0-or-later
// The program's entry: creates the windows and runs the event loop.
#include "app/Flow.h"
#include "app/Forms.h"
#include "app/QuitSignals.h"
#include "app/Services.h"
#include "app/Taskbar.h"
#include "app/Unit1.h"
#include "persist/LocalNames.h"
#include "player/EngineMemory.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QSessionManager>
#include <QTranslator>
#include <clocale>

int main(int argc, char *argv[])
{
    keepEngineMemory();
    QApplication app(argc, argv);
    // libmpv needs the C numeric locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("pelmora"));
    QApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/pelmora.svg")));

    // The user interface is Japanese: the toolkit's own buttons and dialogs
    // too.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    registerFontSubstitutes();

    // SIGTERM and SIGHUP end the program through the close query, on the GUI
    // thread; nobody may be there to answer a box, so it reports to standard
    // error. One that comes while a start-up box is open closes the box and
    // ends the program once start-up is through.
    bool quitDuringStartUp = false;
    installQuitSignals(&app, [&quitDuringStartUp] {
        if (Form1 && Form1->isVisible()) {
            Form1->closeUnattended(true);
            return;
        }
        quitDuringStartUp = true;
        if (QWidget *box = QApplication::activeModalWidget()) box->close();
    });

    // The names on the command line as their bytes are (see LocalNames.h).
    createForms(realServices(commandLineNames(argc, argv)));
    if (quitDuringStartUp) {
        // As "save and exit" with nothing loaded: everything is saved, and a
        // resume record the user has not yet had a chance to take stays.
        SaveClicked = true;
        Form1->closeUnattended(true);
        destroyForms();
        return 0;
    }

    // Log-off and shutdown ask the close query; a refusal refuses them.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [](QSessionManager &manager) {
        if (Form1 && Form1->isVisible() && !Form1->closeUnattended(false)) manager.cancel();
    });

    Form1->show();
    const int result = app.exec();
    destroyForms();
    return result;
}
