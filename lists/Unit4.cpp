// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit4.h"

#include "app/Forms.h"
#include "app/MainWindowHost.h"
#include "app/TextFit.h"
#include "persist/IniFile.h"
#include "persist/LocalNames.h"
#include "persist/SettingsKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

TForm4 *Form4 = nullptr;

TForm4::TForm4(MainWindowHost &host, QWidget *parent)
    : QDialog(parent, fixedSizeWindowFlags(Qt::Dialog)), m_host(host)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("最近開いたファイル"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));
    setModal(false);
    setSizeGripEnabled(false);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    // A typed name is only opened, never added by the box itself: the list
    // is entered by OpenFile alone.
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setGeometry(16, 16, 473, 20);

    CheckBox1 = new QCheckBox(QStringLiteral("履歴を記録しない （履歴が消去されます）"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(20, 42, 229, 17);
    fitToText(CheckBox1); // nothing lies to its right

    Button1 = new QPushButton(QStringLiteral("OK / 開く(&O)"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(100, 72, 149, 25);
    Button1->setDefault(true);

    Button2 = new QPushButton(QStringLiteral("キャンセル"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(260, 72, 149, 25);
    Button2->setAutoDefault(false);
    setFixedSize(grownSize(this, QSize(508, 109), 8));

    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
}

void TForm4::FormCreate()
{
    runHandler(m_host, nullptr, [&] {
        const IniFile settings(m_host.settingsPath());
        // The list is loaded only when its first entry is set and the
        // history is on; then all ten keys, empty ones included.
        const QString first = settings.readString(SettingsKeys::RecentFile, 1);
        if (!first.isEmpty() && settings.readBool(SettingsKeys::RecentEnable)) {
            QStringList entries;
            // A name the file could not hold comes back whole from the place
            // store.
            for (int i = 1; i <= SettingsKeys::RecentFileCount; ++i)
                entries << m_host.exactMediumName(settings.readString(SettingsKeys::RecentFile, i));
            ComboBox1->addItems(entries);
            return;
        }
        if (!settings.readBool(SettingsKeys::RecentEnable)) {
            CheckBox1->setChecked(true);
            m_host.setRecentDisabled(true);
        }
    });
}

void TForm4::FormShow()
{
    if (ComboBox1->count() > 0) ComboBox1->setCurrentIndex(0);
}

void TForm4::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    // Centred on the screen each time it is shown.
    centreOnScreen(this);
    FormShow();
}

void TForm4::Button1Click()
{
    // Not guarded: a failing write reaches the default error display and the
    // window stays open.
    runHandler(m_host, nullptr, [&] {
        const IniFile settings(m_host.settingsPath());
        if (CheckBox1->isChecked()) {
            // Erasing: the list in memory and the ten stored entries.
            m_host.setRecentDisabled(true);
            ComboBox1->clear();
            ComboBox1->clearEditText();
            settings.writeBool(SettingsKeys::RecentEnable, false);
            for (int i = 1; i <= SettingsKeys::RecentFileCount; ++i)
                settings.writeString(SettingsKeys::RecentFile, QString(), i);
            hide();
        } else {
            m_host.setRecentDisabled(false);
            settings.writeBool(SettingsKeys::RecentEnable, true);
        }
        m_host.setAutoAdvance(false);
        const QString name = ComboBox1->currentText();
        if (localNameIsFile(name)) m_host.OpenFile(name);
        hide();
    });
}

void TForm4::Button2Click()
{
    hide();
}

void TForm4::reject()
{
    Button2Click();
}
