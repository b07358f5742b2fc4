// frm_Options: the Options dialog: the two start options kept in the settings,
// and starting the program at login.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class TformMain;

class TFormOptions : public QDialog
{
    Q_OBJECT

public:
    explicit TFormOptions(TformMain *owner);

    // --- controls (objectName = member name) ------------------------------
    QCheckBox *cbOptStartDisabled = nullptr;
    QCheckBox *cbOptStartMinimized = nullptr;
    QCheckBox *cbOptStartAtLogin = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

    // --- handlers ---------------------------------------------------------
    // Ticks the boxes from the main window's options and from whether the
    // autostart entry exists.
    void FormShow();
    // Takes the options over into the main window and saves all settings at
    // once; writes or removes the autostart entry when its box changed. The
    // options act at the next start. When the autostart entry cannot be
    // written the user is told and the dialog stays open.
    void btnOKClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    TformMain *FOwner;
};

// The options dialog of `owner`, made on first use and kept.
TFormOptions *OptionsDialog(TformMain *owner);
