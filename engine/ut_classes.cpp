// ut_classes: the copy entry, its next-run arithmetic and its row texts.
#include "ut_classes.h"

#include "ut_General.h"
#include <QDate>
#include <cmath>

namespace {
constexpr qint64 kEpochJulianDay = 2415019;   // QDate(1899, 12, 30).toJulianDay()

TDateTime OleOfDate(const QDate &date, double timeFraction)
{
    return static_cast<double>(date.toJulianDay() - kEpochJulianDay) + timeFraction;
}

QDate DateOfIsoWeek(int year, int week, int isoDay)
{
    const QDate jan4(year, 1, 4);
    const QDate week1Monday = jan4.addDays(1 - jan4.dayOfWeek());
    return week1Monday.addDays(qint64(week - 1) * 7 + (isoDay - 1));
}

int IsoWeeksInYear(int year)
{
    return QDate(year, 12, 28).weekNumber();
}
} // namespace

TDataObject::TDataObject(TEntryList *listItem)
    : FListItem(listItem)
{
}

void TDataObject::CalcNextRun()
{
    const TDateTime base = FLastRun == 0 ? CurrentOle() : FLastRun;
    TDateTime next = 0;
    switch (FSchedule) {
    case skNone:
        next = 0;
        break;
    case skFixed:
        next = FScheduleTime;
        break;
    case skDaily:
        next = base + 1;
        break;
    case skHourly:
        // A count of 0 or below (or not a number) would make the entry due again
        // the moment each run ends, for ever: such an entry is never due.
        if (FScheduleTime > 0)
            next = base + FScheduleTime / 24;
        break;
    case skWeekly: {
        const double time = OleTimePart(FScheduleTime);
        const QDate baseDate = DateTimeFromOle(base).date();
        if (!baseDate.isValid())
            break;
        int year = 0;
        const int week = baseDate.weekNumber(&year);
        int day = static_cast<int>(OleDatePart(FScheduleTime)) + 1;
        if (day < 1 || day > 7)
            day = 1;
        next = OleOfDate(DateOfIsoWeek(year, week, day), time);
        if (CurrentOle() > next) {
            next = week + 1 <= IsoWeeksInYear(year)
                ? OleOfDate(DateOfIsoWeek(year, week + 1, day), time)
                : OleOfDate(DateOfIsoWeek(year + 1, 1, day), time);
        }
        break;
    }
    case skMonthly: {
        // A day below 1 can only come from a hand-edited job list; there is no
        // such calendar day, so the entry is treated as unscheduled.
        const double whole = OleDatePart(FScheduleTime);
        const QDate baseDate = DateTimeFromOle(base).date();
        if (whole < 1 || !baseDate.isValid())
            break;
        const QDate firstOfNext = QDate(baseDate.year(), baseDate.month(), 1).addMonths(1);
        const int day = static_cast<int>(std::min<double>(whole, firstOfNext.daysInMonth()));
        next = OleOfDate(QDate(firstOfNext.year(), firstOfNext.month(), day),
                         OleTimePart(FScheduleTime));
        break;
    }
    default:
        next = 0;
        break;
    }
    FNextRun = next;
}

QString TDataObject::ScheduleText() const
{
    switch (FSchedule) {
    case skNone:
        return UiText::sNoSchedule;
    case skFixed:
        return UiText::sFixedAt.arg(DateTimeText(FScheduleTime));
    case skDaily:
        return UiText::sDailyAt.arg(DateTimeText(FScheduleTime));
    case skHourly:
        return UiText::sEveryHours.arg(GeneralNumberText(FScheduleTime));
    case skWeekly:
        return WeeklyText(FScheduleTime);
    case skMonthly:
        return MonthlyText(FScheduleTime);
    default:
        return QString();
    }
}

int TDataObject::Row() const
{
    return FListItem ? FListItem->RowOf(this) : -1;
}

void TDataObject::SetStatus(const QString &text)
{
    const int row = Row();
    if (row >= 0)
        FListItem->SetText(row, ecStatus, text);
}

void TDataObject::SetProcessed(int count)
{
    const int row = Row();
    if (row >= 0)
        FListItem->SetText(row, ecProcessed, QString::number(count));
}

QString TDataObject::StatusText() const
{
    const int row = Row();
    return row >= 0 ? FListItem->Text(row, ecStatus) : QString();
}

void TDataObject::RefreshRow()
{
    const int row = Row();
    if (row < 0)
        return;
    FListItem->SetText(row, ecSource, FSource);
    FListItem->SetText(row, ecDest, FDest);
    FListItem->SetText(row, ecSchedule, ScheduleText());
    FListItem->SetText(row, ecLastCopy, DateTimeText(FLastRun));
    FListItem->SetText(row, ecNextCopy, DateTimeText(FNextRun));
}
