// frm_Main_JobList: job list files (*.vnt) and the File commands.
#include "frm_Main.h"

#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <cmath>

#include "LocaleFormats.h"
#include "ProfileFile.h"
#include "ut_Dialogs.h"
#include "ut_General.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

namespace {

const QString cFilter = u"Vantor Configuration Files (*.vnt)"_s;
const QString cMain = u"Main"_s;
const QString cDefaultDestination = u"Default Destination"_s;

const QDate cOleBase(1899, 12, 30);
constexpr qint64 cMsPerDay = 86400000;

// Date-time values go through their calendar parts, never through a zoned
// QDateTime: a value must read back as written even on the night the clocks
// change.
QString DateTimeToText(TDateTime value)
{
    double days = std::trunc(value);
    qint64 ms = std::llround(std::fabs(value - days) * cMsPerDay);
    // Rounded up to the next midnight: that is the next calendar day, also for
    // values before day 0, whose date part counts towards zero.
    if (ms >= cMsPerDay) {
        ms -= cMsPerDay;
        days += 1;
    }
    const QDate date = cOleBase.addDays(static_cast<qint64>(days));
    QString text = FormatShortDate(date);
    // The time is left out only at exactly midnight; a moment under a second
    // past it is written as 00:00:00 (fractions of a second are not kept: the
    // long time format has none).
    if (ms != 0)
        text += u" "_s + FormatLongTime(QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
    return text;
}

TDateTime OleFromParts(const QDate &date, const QTime &time)
{
    const double days = static_cast<double>(cOleBase.daysTo(date));
    const double fraction = static_cast<double>(time.msecsSinceStartOfDay()) / cMsPerDay;
    return days < 0 ? days - fraction : days + fraction;
}

// Reads what DateTimeToText wrote; 0 when the text is neither a date nor a date
// and a time. Parsing a locale format is costly and a job list repeats its
// dates and times (never-run entries, common run times), so one reader keeps
// what it has parsed for the length of a load.
class TDateTimeReader
{
public:
    TDateTime Read(const QString &text)
    {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty())
            return 0;
        // A date and a time first: a short date has at most three fields and a
        // long time three more, so no text reads both as a date alone and as a
        // date and a time, and the order costs no meaning. It saves a failed
        // parse of every date-time value.
        // A short date may itself hold blanks: try every blank as the split.
        for (qsizetype at = trimmed.indexOf(u' '); at > 0; at = trimmed.indexOf(u' ', at + 1)) {
            const QDate date = Date(trimmed.left(at).trimmed());
            if (!date.isValid())
                continue;
            const QTime time = Time(trimmed.mid(at + 1).trimmed());
            if (time.isValid())
                return OleFromParts(date, time);
        }
        const QDate whole = Date(trimmed);
        if (whole.isValid())
            return OleFromParts(whole, QTime(0, 0));
        return 0;
    }

private:
    QDate Date(const QString &text)
    {
        auto it = FDates.constFind(text);
        if (it == FDates.cend())
            it = FDates.insert(text, ParseShortDate(text));
        return *it;
    }
    QTime Time(const QString &text)
    {
        auto it = FTimes.constFind(text);
        if (it == FTimes.cend())
            it = FTimes.insert(text, ParseLongTime(text));
        return *it;
    }

    QHash<QString, QDate> FDates;
    QHash<QString, QTime> FTimes;
};

} // namespace

void TformMain::ClearJobList()
{
    FJobListFile.clear();
    FModified = true;
    edDef->clear();
    FEntries->Clear();
    SetStatusPanel(2, FJobListFile);
}

void TformMain::LoadJobList(const QString &Path)
{
    if (!ConfirmDiscard())
        return;
    QString path = Path;
    if (path.isEmpty()) {
        path = Dialogs().OpenFileName(this, u"Open"_s, QFileInfo(FJobListFile).path(), cFilter);
        if (path.isEmpty())
            return;
    }
    ClearJobList();
    FJobListFile = path;

    const TProfileFile file(path);
    TDateTimeReader dates;
    edDef->setText(file.ReadString(cMain, cDefaultDestination, QString()));
    const QStringList sections = file.ReadSections();
    for (const QString &section : sections) {
        // Exactly "Main": a section "main" is an entry like any other.
        if (section == cMain)
            continue;
        QString mask = file.ReadString(section, u"FileExt"_s, QString());
        if (mask.isEmpty())
            mask = u"*.*"_s;
        AddEntryRow(file.ReadString(section, u"Src"_s, QString()), file.ReadString(section, u"Dest"_s, QString()),
                    mask, file.ReadBool(section, u"Active"_s, true), file.ReadInteger(section, u"Schedule"_s, 0),
                    dates.Read(file.ReadString(section, u"Schedule Time"_s, QString())),
                    dates.Read(file.ReadString(section, u"Last"_s, QString())),
                    file.ReadString(section, u"ActionBefore"_s, QString()),
                    file.ReadString(section, u"ActionAfter"_s, QString()),
                    static_cast<quint8>(file.ReadInteger(section, u"CopyType"_s, 0)));
    }
    SetStatusPanel(2, FJobListFile);
    FModified = false;
}

void TformMain::SaveJobList(const QString &Path)
{
    QString path = Path;
    if (path.isEmpty()) {
        path = Dialogs().SaveFileName(this, u"Save As"_s, QFileInfo(FJobListFile).path(), cFilter, u"VNT"_s);
        if (path.isEmpty())
            return;
    }
    FJobListFile = path;

    // The whole content is built anew and replaces the old file only once it is
    // completely written: a failed save leaves the old file whole.
    TProfileFile file(path, TProfileFile::psEmpty);
    file.SetAutoSave(false);
    file.WriteString(cMain, cDefaultDestination, edDef->text());
    for (int row = 0; row < FEntries->Count(); ++row) {
        const TDataObject *entry = FEntries->Entry(row);
        const QString section = QString::number(row);
        file.WriteString(section, u"Caption"_s, FEntries->Text(row, ecSource));
        file.WriteBool(section, u"Active"_s, FEntries->IsChecked(row));
        file.WriteString(section, u"Src"_s, entry->FSource);
        file.WriteString(section, u"Dest"_s, entry->FDest);
        file.WriteString(section, u"FileExt"_s, entry->FFileMask);
        file.WriteInteger(section, u"Schedule"_s, entry->FSchedule);
        file.WriteString(section, u"Schedule Time"_s, DateTimeToText(entry->FScheduleTime));
        file.WriteString(section, u"Last"_s, DateTimeToText(entry->FLastRun));
        file.WriteString(section, u"Next"_s, DateTimeToText(entry->FNextRun));
        file.WriteString(section, u"ActionBefore"_s, entry->FActionBefore);
        file.WriteString(section, u"ActionAfter"_s, entry->FActionAfter);
        file.WriteInteger(section, u"CopyType"_s, entry->FCopyType);
    }
    file.Save();
    SetStatusPanel(2, FJobListFile);
    FModified = false;
}

bool TformMain::ConfirmDiscard()
{
    if (RunningCount() > 0) {
        ShowError(this, UiText::sActiveCopy);
        return false;
    }
    if (!FModified)
        return true;
    switch (AskYesNoCancel(this, UiText::sSaveChanges)) {
    case QMessageBox::Yes:
        // The list may be replaced (or the window closed) even when this save
        // asks for a name and is cancelled; a save that fails throws and so
        // keeps the list.
        miSaveClick();
        return true;
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void TformMain::miNewClick()
{
    // Entries in a run must outlive their worker: New waits for no run, it refuses.
    if (RunningCount() > 0) {
        ShowError(this, UiText::sActiveCopy);
        return;
    }
    ClearJobList();
}

void TformMain::miOpenClick()
{
    LoadJobList(QString());
}

void TformMain::miSaveClick()
{
    SaveJobList(FJobListFile);
}

void TformMain::miSaveAsClick()
{
    SaveJobList(QString());
}
