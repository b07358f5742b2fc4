// frm_Options: the Options dialog.
#include "frm_Options.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "frm_Main.h"
#include "ut_Autostart.h"
#include "ut_Dialogs.h"
#include "ut_General.h"

using namespace Qt::StringLiterals;

TFormOptions::TFormOptions(TformMain *owner)
    : QDialog(owner), FOwner(owner)
{
    setObjectName(u"FormOptions"_s);
    setWindowTitle(UiText::sOptions);
    setModal(true);

    cbOptStartDisabled = new QCheckBox(UiText::sStartDisabled, this);
    cbOptStartDisabled->setObjectName(u"cbOptStartDisabled"_s);
    cbOptStartMinimized = new QCheckBox(UiText::sStartMinimized, this);
    cbOptStartMinimized->setObjectName(u"cbOptStartMinimized"_s);
    cbOptStartAtLogin = new QCheckBox(UiText::sStartAtLogin, this);
    cbOptStartAtLogin->setObjectName(u"cbOptStartAtLogin"_s);

    btnOK = new QPushButton(u"OK"_s, this);
    btnOK->setObjectName(u"btnOK"_s);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(u"Cancel"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s); // Escape cancels any QDialog
    connect(btnOK, &QPushButton::clicked, this, &TFormOptions::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(16, 16, 16, 12);
    top->addWidget(cbOptStartDisabled);
    top->addWidget(cbOptStartMinimized);
    top->addWidget(cbOptStartAtLogin);
    top->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    top->addLayout(buttons);

    setFixedSize(424, 226);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TFormOptions::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}

void TFormOptions::FormShow()
{
    cbOptStartDisabled->setChecked(FOwner->FStartDisabled);
    cbOptStartMinimized->setChecked(FOwner->FStartMinimized);
    cbOptStartAtLogin->setChecked(AutostartEnabled());
}

void TFormOptions::btnOKClick()
{
    if (cbOptStartAtLogin->isChecked() != AutostartEnabled() && !SetAutostart(cbOptStartAtLogin->isChecked())) {
        ShowError(this, UiText::sUnableToWrite.arg(AutostartFileName()));
        return;
    }
    FOwner->FStartDisabled = cbOptStartDisabled->isChecked();
    FOwner->FStartMinimized = cbOptStartMinimized->isChecked();
    FOwner->SaveSettings();
    accept();
}

TFormOptions *OptionsDialog(TformMain *owner)
{
    if (auto *existing = owner->findChild<TFormOptions *>(u"FormOptions"_s, Qt::FindDirectChildrenOnly))
        return existing;
    return new TFormOptions(owner);
}
