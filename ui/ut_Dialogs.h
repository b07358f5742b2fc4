// ut_Dialogs: the one door through which the program asks the user anything.
// Message boxes and the open, save and folder dialogs all go through the
// current TDialogs, so tests can install their own answers.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

class TDialogs
{
public:
    virtual ~TDialogs();

    // Shows `text` with the given icon and buttons, captioned with the
    // application title. Returns the button pressed; closing the box without a
    // button gives QMessageBox::Cancel when Cancel was offered, else the
    // escape button Qt picks. Never throws.
    virtual QMessageBox::StandardButton Message(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                                QMessageBox::StandardButtons buttons) = 0;

    // The open dialog: returns the chosen file, or an empty string on cancel.
    virtual QString OpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter) = 0;

    // The save dialog: returns the chosen file (with `defaultSuffix` added when
    // the user typed a name without one), or an empty string on cancel.
    virtual QString SaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                                 const QString &defaultSuffix) = 0;

    // The folder browser (file-system folders only): returns the chosen folder,
    // or an empty string on cancel.
    virtual QString ExistingDirectory(QWidget *parent, const QString &caption, const QString &dir) = 0;
};

// The dialogs in use; the real Qt dialogs unless a test installed others.
TDialogs &Dialogs();

// Installs `dialogs` (not owned) and returns the previous one; nullptr puts the
// real dialogs back.
TDialogs *SetDialogs(TDialogs *dialogs);

// Short forms for the boxes the program shows.
void ShowError(QWidget *parent, const QString &text);            // error icon, OK
QMessageBox::StandardButton AskYesNoCancel(QWidget *parent, const QString &text); // question, Yes/No/Cancel

// `Initial` unchanged when the user cancels; the chosen folder otherwise, as the
// platform gives it (no trailing separator except at the root).
QString BrowseForFolder(QWidget *parent, const QString &initial);
