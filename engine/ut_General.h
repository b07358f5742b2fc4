// ut_General: the fixed English texts shown by the program (not translated at
// run time), and the text and shell helpers shared by engine and window.
#pragma once

#include <QString>
#include "OleDateTime.h"
#include "ShellOpen.h"

namespace UiText {
// Schedule column
inline const QString sNoSchedule = QStringLiteral("No Schedule");
inline const QString sFixedAt = QStringLiteral("Fixed at %1");
inline const QString sDailyAt = QStringLiteral("Daily at %1");
inline const QString sEveryHours = QStringLiteral("Every %1 Hour(s)");
inline const QString sWeeklyOn = QStringLiteral("Weekly on ");
inline const QString sMonthlyEvery = QStringLiteral("Monthly every ");
inline const QString sAt = QStringLiteral(" at ");

// Passes of a run: status column and log lines
inline const QString sCopyingStatus = QStringLiteral("Copying..");
inline const QString sCheckingStatus = QStringLiteral("Checking..");
inline const QString sDeletingStatus = QStringLiteral("Deleting..");
inline const QString sCopyingLog = QStringLiteral("Copying: %1 > %2");
inline const QString sCopyFailed = QStringLiteral("Copy failed: %1 > %2");
inline const QString sCheckingLog = QStringLiteral("Checking: %1 > %2");
inline const QString sDeletingLog = QStringLiteral("Deleting: %1");
inline const QString sDeleteFailed = QStringLiteral("Delete failed: %1");

// Why a run handled no file, or deleted nothing
inline const QString sNoSourceFolder = QStringLiteral("No source folder set, no file handled");
inline const QString sNoDestFolder = QStringLiteral("No destination folder set, no file handled");
inline const QString sMaskLeavesFolder = QStringLiteral("File mask reaches outside the folder, no file handled: %1");
inline const QString sSourceUnreadable = QStringLiteral("Source folder cannot be read, nothing deleted: %1");

// Run status
inline const QString sDone = QStringLiteral("Done");
inline const QString sStopped = QStringLiteral("Stopped");
inline const QString sPaused = QStringLiteral("Paused");

// Status bar
inline const QString sRunningOfRows = QStringLiteral("%1 / %2");

// Window and dialog texts
inline const QString sBrowse = QStringLiteral("Browse");
inline const QString sActiveCopy = QStringLiteral("Active copy. Can not close.");
inline const QString sSaveChanges = QStringLiteral("Save Changes?");
inline const QString sVantorDisabled = QStringLiteral("Vantor Disabled");
inline const QString sVantor = QStringLiteral("Vantor");
inline const QString sDeleted = QStringLiteral("Deleted");
inline const QString sSource = QStringLiteral("Source");
inline const QString sDestination = QStringLiteral("Destination");

// Column captions of the entry list
inline const QString sColSource = QStringLiteral("Source");
inline const QString sColDestination = QStringLiteral("Destination");
inline const QString sColStatus = QStringLiteral("Status");
inline const QString sColProcessed = QStringLiteral("Processed files");
inline const QString sColSchedule = QStringLiteral("Schedule");
inline const QString sColLastCopy = QStringLiteral("Last Copy");
inline const QString sColNextCopy = QStringLiteral("Next Copy");

// Options dialog, about box and help viewer (settings and start-up)
inline const QString sOptions = QStringLiteral("Options");
inline const QString sStartDisabled = QStringLiteral("Start Vantor Disabled");
inline const QString sStartMinimized = QStringLiteral("Start Vantor Miminized");
inline const QString sStartAtLogin = QStringLiteral("Start Vantor when I log in");
inline const QString sUnableToWrite = QStringLiteral("Unable to write to %1");
inline const QString sCredits = QStringLiteral("Credits:");
inline const QString sVersion = QStringLiteral("1.00 (Build: 13)");
inline const QString sProgramming = QStringLiteral("programming:");
} // namespace UiText

// Date part in the locale's short date format, time part in its long time
// format, a space between; either alone when the other is 0; empty for 0.
QString DateTimeText(TDateTime value);
// "Weekly on " + full weekday name (0 = Monday .. 6 = Sunday, empty outside) +
// " " + long time of the fraction.
QString WeeklyText(TDateTime value);
// "Monthly every " + whole-day part + " at " + long time of the fraction.
QString MonthlyText(TDateTime value);
// A number in shortest general form with the locale's decimal separator (2, 1.5).
QString GeneralNumberText(double value);
// The log line prefix: current short date, a space, current long time.
QString LogTimeStamp();
