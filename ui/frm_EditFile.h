// frm_EditFile: the entry editor dialog, reused for every add and edit, and
// PathTail, the folder tail that destinations are proposed from.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>
#include "OleDateTime.h"

class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

// The part of `path` that is mirrored below a destination root:
// - a path that begins with "/" (the native absolute form) loses its leading
//   separators: "/home/ann/Docs" gives "home/ann/Docs";
// - otherwise, a path with ":" loses everything up to and including the first
//   ":" and the one character after it: "C:/Data/Docs" gives "Data/Docs";
// - otherwise, a path with a pair of separators loses everything up to and
//   including the first pair: "a//b/c" gives "b/c";
// - otherwise the tail is empty, and the root alone is proposed.
// Never fails.
QString PathTail(const QString &path);

// The entry editor's file-open dialog: no filter, no title. It goes through the
// program's dialog seam, so tests answer it like every other dialog.
class TOpenDialog : public QObject
{
    Q_OBJECT
public:
    explicit TOpenDialog(QWidget *owner);
    QString InitialDir;
    QString FileName;
    // Runs the dialog; true when a file was picked (then in FileName).
    bool Execute();

private:
    QWidget *FOwner;
};

class TformEditFile : public QDialog
{
    Q_OBJECT

public:
    explicit TformEditFile(QWidget *parent = nullptr);

    // The main window's default destination root box (not owned). The proposal
    // reads it and appends a missing trailing separator to it. Without one,
    // nothing is proposed.
    void SetDefaultRootBox(QLineEdit *edDef) { FDefaultRoot = edDef; }

    // --- value helpers -----------------------------------------------------
    // A date or time box's full date-time value, and setting it without running
    // the box's change handler (the handlers follow the user's edits only).
    static TDateTime BoxValue(const QDateTimeEdit *box);
    static void SetBoxValue(QDateTimeEdit *box, TDateTime value);

    // Item position of an editable list: the item whose text is the one shown,
    // -1 when the shown text matches no item (typed text, or nothing chosen).
    static int ListPosition(const QComboBox *box);

    // The Period position, -1 when none is chosen.
    int Period() const;
    // The copy type of the chosen action (ctNothing, ctReplicate, ctCopy).
    quint8 CopyType() const;
    // Chooses the action for a copy type; other values leave the choice as it is.
    void SetCopyType(int copyType);

    // The schedule value the dialog holds for its Period. Returns false when
    // no Period is chosen (then `value` is left alone).
    bool ScheduleValue(TDateTime *value) const;

    void UpdateScheduleControls();

    // The Period position seen by the last UpdateScheduleControls; the opening
    // commands set it to -1 so opening the dialog keeps the weekly and monthly
    // boxes as filled.
    qint32 FPrevPeriod = -1;

    // --- controls (objectName = member name) ------------------------------
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9, *Label10,
        *Label11, *Label12, *Label13;
    QLineEdit *edSrc, *edSrcFileMask, *edDest;
    QToolButton *SpeedButton1, *SpeedButton2, *SpeedButton3, *SpeedButton4, *SpeedButton5;
    QGroupBox *GroupBox1, *GroupBox2;
    QComboBox *cbSchedule;
    QDateTimeEdit *dtFixedDate, *dtFixedTime, *dtDailyTime;
    QSpinBox *seHour;
    QComboBox *cbWeekly;
    QDateTimeEdit *dtWeekly;
    QComboBox *cbMonthly;
    QDateTimeEdit *dtMonthly, *dtLastDate, *dtLastTime, *dtNextDate, *dtNextTime;
    QRadioButton *rbnothing, *rbreplicate, *rbcopy;
    QLineEdit *edRunBefore, *edRunAfter;
    QPushButton *btnOK, *btnCancel;
    TOpenDialog *dlgFileMask;

    // --- handlers ---------------------------------------------------------
    void edSrcChange();
    void cbScheduleChange();
    void dtFixedTimeChange();
    void dtNextTimeChange();
    void dtLastTimeChange();
    void dtDailyTimeChange();
    void dtWeeklyChange();
    void dtMonthlyChange();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();

    // OK: refuses an hourly Period with a count of 0 or below (error box, the
    // dialog stays open); everything else is accepted as it stands.
    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void HookNavigationKeys();
    void FillWeekdays();
    QDateTimeEdit *MakeDateBox(const QString &name);
    QDateTimeEdit *MakeTimeBox(const QString &name);

    QLineEdit *FDefaultRoot = nullptr;
};

// The one entry editor of `owner` (the main window), made on first use and
// reused for every add and edit from then on. Never null.
TformEditFile *EntryEditor(QWidget *owner);
