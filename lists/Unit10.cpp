// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/Unit10.h"

#include "app/Forms.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

TForm10 *Form10 = nullptr;

TForm10::TForm10(QWidget *parent) : QWidget(parent, fixedSizeWindowFlags(Qt::Dialog))
{
    setObjectName(QStringLiteral("Form10"));
    setWindowTitle(QStringLiteral("このフォルダーの再生設定"));
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 12));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setWordWrap(true);
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);

    SpeedEdit = new QDoubleSpinBox(this);
    SpeedEdit->setObjectName(QStringLiteral("SpeedEdit"));
    SpeedEdit->setRange(0.5, 3.0);
    SpeedEdit->setSingleStep(0.1);
    SpeedEdit->setDecimals(2);
    SpeedEdit->setSuffix(QStringLiteral(" 倍"));
    SpeedEdit->setAccessibleName(QStringLiteral("再生速度"));

    CheckBox1 = new QCheckBox(QStringLiteral("声を聞きやすく(&V)"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox2 = new QCheckBox(QStringLiteral("無音をスキップ(&K)"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));

    auto seconds = [this](const char *name, const QString &accessible) {
        auto *edit = new QSpinBox(this);
        edit->setObjectName(QLatin1String(name));
        edit->setRange(0, int(CourseSettings::MaxSkipSeconds));
        edit->setSuffix(QStringLiteral(" 秒"));
        edit->setAccessibleName(accessible);
        return edit;
    };
    IntroEdit = seconds("IntroEdit", QStringLiteral("各ファイルの冒頭をとばす秒数"));
    OutroEdit = seconds("OutroEdit", QStringLiteral("各ファイルの末尾をとばす秒数"));

    ExamCheck = new QCheckBox(QStringLiteral("試験日を決める(&X)"), this);
    ExamCheck->setObjectName(QStringLiteral("ExamCheck"));
    ExamEdit = new QDateEdit(this);
    ExamEdit->setObjectName(QStringLiteral("ExamEdit"));
    ExamEdit->setCalendarPopup(true);
    ExamEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    ExamEdit->setAccessibleName(QStringLiteral("試験日"));
    connect(ExamCheck, &QCheckBox::toggled, ExamEdit, &QWidget::setEnabled);

    CheckBox3 = new QCheckBox(QStringLiteral("この速度などを既定の再生設定にもする(&D)"), this);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    CheckBox3->setAccessibleName(QStringLiteral("この速度などを既定の再生設定にもする"));

    Label2 = new QLabel(QStringLiteral("優先順位: ファイルごとの設定 → このフォルダーの設定 → "
                                       "全体の設定 (Pelmora.ini)。\n"
                                       "初めて開くファイルは、このフォルダーの設定で再生します。"),
                        this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setWordWrap(true);

    auto *buttons = new QDialogButtonBox(this);
    Button1 = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button1->setAutoDefault(true);
    Button2 = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &TForm10::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm10::Button2Click);

    auto *form = new QFormLayout;
    auto row = [&](const QString &caption, QWidget *field) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(field);
        form->addRow(label, field);
    };
    row(QStringLiteral("再生速度(&R):"), SpeedEdit);
    form->addRow(QString(), CheckBox1);
    form->addRow(QString(), CheckBox2);
    row(QStringLiteral("冒頭をとばす(&I):"), IntroEdit);
    row(QStringLiteral("末尾をとばす(&E):"), OutroEdit);
    auto *exam = new QHBoxLayout;
    exam->addWidget(ExamCheck);
    exam->addWidget(ExamEdit, 1);
    form->addRow(QStringLiteral("試験日:"), exam);
    form->addRow(QString(), CheckBox3);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(form);
    layout->addWidget(Label2);
    layout->addWidget(buttons);
    setTabOrder(SpeedEdit, CheckBox1);
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, IntroEdit);
    setTabOrder(IntroEdit, OutroEdit);
    setTabOrder(OutroEdit, ExamCheck);
    setTabOrder(ExamCheck, ExamEdit);
    setTabOrder(ExamEdit, CheckBox3);
    setTabOrder(CheckBox3, Button1);
    setTabOrder(Button1, Button2);
    setFixedWidth(420);
}

void TForm10::showFolder(const QString &folder, const KeptSettings &kept,
                         const CoursePlayback &shown)
{
    m_folder = folder;
    const QString text = QStringLiteral("フォルダー: ") + QDir::toNativeSeparators(folder);
    Label1->setText(text);
    Label1->setAccessibleName(text);
    SpeedEdit->setValue(kept.speed.value_or(shown.speed));
    CheckBox1->setChecked(kept.voiceBoost.value_or(shown.voiceBoost));
    CheckBox2->setChecked(kept.skipSilence.value_or(shown.skipSilence));
    IntroEdit->setValue(int(std::lround(kept.introSeconds)));
    OutroEdit->setValue(int(std::lround(kept.outroSeconds)));
    CheckBox3->setChecked(false);
    SpeedEdit->setFocus(Qt::OtherFocusReason);
    m_examShown.reset();
    examFieldsEnabled(!readExam);
    ExamCheck->setChecked(false);
    if (readExam) readExam(folder);
}

void TForm10::examFieldsEnabled(bool known)
{
    m_examKnown = known;
    ExamCheck->setEnabled(known);
    ExamEdit->setEnabled(known && ExamCheck->isChecked());
}

void TForm10::showExam(std::optional<QDate> exam, QDate today)
{
    m_examShown = exam;
    ExamCheck->setChecked(exam.has_value());
    // A date to start from when none is set: a month ahead.
    ExamEdit->setDate(exam.value_or(today.addMonths(1)));
    examFieldsEnabled(true);
}

std::optional<QDate> TForm10::exam() const
{
    if (!ExamCheck->isChecked()) return std::nullopt;
    return ExamEdit->date();
}

KeptSettings TForm10::settings() const
{
    KeptSettings s;
    s.speed = SpeedEdit->value();
    s.voiceBoost = CheckBox1->isChecked();
    s.skipSilence = CheckBox2->isChecked();
    s.introSeconds = IntroEdit->value();
    s.outroSeconds = OutroEdit->value();
    return s;
}

void TForm10::Button1Click()
{
    // A value typed but not yet taken by its field counts.
    SpeedEdit->interpretText();
    IntroEdit->interpretText();
    OutroEdit->interpretText();
    const KeptSettings chosen = settings();
    if (onAccept) onAccept(m_folder, chosen);
    ExamEdit->interpretText();
    if (m_examKnown && exam() != m_examShown && onExam) onExam(m_folder, exam());
    if (CheckBox3->isChecked() && onDefaults)
        onDefaults(CoursePlayback{*chosen.speed, *chosen.voiceBoost, *chosen.skipSilence});
    hide();
}

void TForm10::Button2Click()
{
    hide();
}

void TForm10::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        Button2Click();
        return;
    }
    // Enter is OK wherever the focus is, but on the cancel button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (focusWidget() == Button2)
            Button2Click();
        else
            Button1Click();
        return;
    }
    QWidget::keyPressEvent(event);
}
