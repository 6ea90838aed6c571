// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Unit12.h"

#include "app/Forms.h"
#include "app/Services.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TForm12 *Form12 = nullptr;

TForm12::TForm12(Dialogs *dialogs, QWidget *parent)
    : QWidget(parent, fixedSizeWindowFlags(Qt::Dialog)), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("Form12"));
    setWindowTitle(QStringLiteral("同期フォルダー"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));

    auto *about = new QLabel(
        QStringLiteral("再生位置・再生済みの範囲・ファイルごとの再生設定・再生時間の記録・"
                       "学習記録を、Syncthing などで同期しているフォルダーを通して、"
                       "ほかのコンピューターと共有します。ファイルは内容で見分けるので、"
                       "置き場所や名前が違っていてもかまいません。"),
        this);
    about->setWordWrap(true);
    about->setTextFormat(Qt::PlainText);

    NoSync = new QRadioButton(QStringLiteral("同期しない(&N)"), this);
    UseSync = new QRadioButton(QStringLiteral("このフォルダーと同期する(&S):"), this);
    FolderEdit = new QLineEdit(this);
    FolderEdit->setAccessibleName(QStringLiteral("同期フォルダー"));
    BrowseButton = new QPushButton(QStringLiteral("参照(&B)..."), this);
    NameEdit = new QLineEdit(this);
    NameEdit->setAccessibleName(QStringLiteral("このコンピューターの名前"));
    NameEdit->setMaxLength(64);
    connect(FolderEdit, &QLineEdit::textEdited, UseSync, [this] { UseSync->setChecked(true); });
    connect(BrowseButton, &QPushButton::clicked, this, [this] {
        FileDialogOptions options;
        options.directory = FolderEdit->text();
        const QString chosen = m_dialogs->openFolder(this, options);
        if (chosen.isEmpty()) return;
        FolderEdit->setText(QDir::toNativeSeparators(chosen));
        UseSync->setChecked(true);
    });

    auto *buttons = new QDialogButtonBox(this);
    Button1 = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2 = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    connect(Button1, &QPushButton::clicked, this, &TForm12::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QWidget::close);

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(FolderEdit, 1);
    folderRow->addWidget(BrowseButton);
    auto *name = new QLabel(QStringLiteral("このコンピューターの名前(&M):"), this);
    name->setBuddy(NameEdit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(about);
    layout->addWidget(NoSync);
    layout->addWidget(UseSync);
    layout->addLayout(folderRow);
    layout->addWidget(name);
    layout->addWidget(NameEdit);
    layout->addWidget(buttons);
    setTabOrder(NoSync, UseSync);
    setTabOrder(UseSync, FolderEdit);
    setTabOrder(FolderEdit, BrowseButton);
    setTabOrder(BrowseButton, NameEdit);
    setTabOrder(NameEdit, Button1);
    setTabOrder(Button1, Button2);
    setFixedWidth(460);
}

void TForm12::showChoice(const QString &folder, const QString &deviceName)
{
    FolderEdit->setText(QDir::toNativeSeparators(folder));
    NameEdit->setText(deviceName);
    (folder.isEmpty() ? NoSync : UseSync)->setChecked(true);
    (folder.isEmpty() ? static_cast<QWidget *>(NoSync) : FolderEdit)
        ->setFocus(Qt::OtherFocusReason);
}

void TForm12::Button1Click()
{
    QString folder;
    if (UseSync->isChecked()) {
        folder = QDir::fromNativeSeparators(FolderEdit->text().trimmed());
        if (folder.isEmpty() || !QFileInfo(folder).isDir() || QFileInfo(folder).isRelative()) {
            m_dialogs->message(this, notice(QStringLiteral("同期フォルダー"),
                                            QStringLiteral("フォルダーが見つかりません：\n") +
                                                FolderEdit->text() +
                                                QStringLiteral("\n同期しているフォルダーを"
                                                               "選んでください。"),
                                            MsgIcon::Warning));
            FolderEdit->setFocus(Qt::OtherFocusReason);
            return;
        }
        folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    }
    if (onAccept) onAccept(folder, NameEdit->text().simplified());
    close();
}
