// JobListSample: a job list of any length whose entries differ in every field,
// and a field-by-field comparison of two windows' lists. Shared by the job list
// test and the scale benchmark.
#pragma once

#include <QLineEdit>
#include <QString>
#include <cmath>

#include "frm_Main.h"
#include "ut_classes.h"

// Adds `count` entries to `w` (and a default root). Dates are whole seconds,
// since a job list keeps no fractions; texts hold "=", "[", ";" and letters
// beyond ASCII, but no blanks at their ends, which values never keep.
inline void FillSampleJobList(TformMain &w, int count)
{
    using namespace Qt::StringLiterals;
    w.edDef->setText(u"/media/backup \u00e9t\u00e9"_s);
    for (int i = 0; i < count; ++i) {
        const int kind = i % 7 - 1;   // -1 (unchosen) to 5
        double scheduleTime = 0;
        switch (kind) {
        case skFixed: scheduleTime = 45000 + i % 400 + (i * 37 % 86400) / 86400.0; break;
        case skDaily: scheduleTime = (i * 61 % 86400) / 86400.0; break;
        case skHourly: scheduleTime = 1 + i % 48; break;
        case skWeekly: scheduleTime = 1 + i % 7 + (i * 13 % 86400) / 86400.0; break;
        case skMonthly: scheduleTime = 1 + i % 28 + (i * 17 % 86400) / 86400.0; break;
        default: break;
        }
        const double last = i % 5 == 0 ? 0 : 44000 + i % 1000 + (i * 7919 % 86400) / 86400.0;
        w.AddEntryRow(u"/data/src %1/\u00e4=[x];y/"_s.arg(i), u"/media/backup/dst%1/"_s.arg(i),
                      u"*.%1"_s.arg(i % 13), i % 3 != 0, kind, scheduleTime, last,
                      i % 4 == 0 ? QString() : u"/usr/bin/before --n=%1"_s.arg(i),
                      i % 6 == 0 ? QString() : u"https://example.org/after?i=%1"_s.arg(i),
                      static_cast<quint8>(i % 3));
    }
}

// The first field in which the two lists differ, or an empty text.
inline QString CompareJobLists(TformMain &a, TformMain &b)
{
    using namespace Qt::StringLiterals;
    if (a.edDef->text() != b.edDef->text())
        return u"default root: %1 / %2"_s.arg(a.edDef->text(), b.edDef->text());
    if (a.EntryCount() != b.EntryCount())
        return u"count: %1 / %2"_s.arg(a.EntryCount()).arg(b.EntryCount());
    for (int row = 0; row < a.EntryCount(); ++row) {
        const TDataObject *x = a.EntryAt(row);
        const TDataObject *y = b.EntryAt(row);
        const auto differs = [row](const char *field, const QString &p, const QString &q) {
            return u"row %1 %2: %3 / %4"_s.arg(row).arg(QString::fromLatin1(field), p, q);
        };
        if (x->FSource != y->FSource)
            return differs("Src", x->FSource, y->FSource);
        if (x->FDest != y->FDest)
            return differs("Dest", x->FDest, y->FDest);
        if (x->FFileMask != y->FFileMask)
            return differs("FileExt", x->FFileMask, y->FFileMask);
        if (a.EntryList().IsChecked(row) != b.EntryList().IsChecked(row))
            return differs("Active", QString::number(a.EntryList().IsChecked(row)),
                           QString::number(b.EntryList().IsChecked(row)));
        if (x->FSchedule != y->FSchedule)
            return differs("Schedule", QString::number(x->FSchedule), QString::number(y->FSchedule));
        if (x->FScheduleTime != y->FScheduleTime)
            return differs("Schedule Time", QString::number(x->FScheduleTime, 'g', 17),
                           QString::number(y->FScheduleTime, 'g', 17));
        if (x->FLastRun != y->FLastRun)
            return differs("Last", QString::number(x->FLastRun, 'g', 17), QString::number(y->FLastRun, 'g', 17));
        if (x->FActionBefore != y->FActionBefore)
            return differs("ActionBefore", x->FActionBefore, y->FActionBefore);
        if (x->FActionAfter != y->FActionAfter)
            return differs("ActionAfter", x->FActionAfter, y->FActionAfter);
        if (x->FCopyType != y->FCopyType)
            return differs("CopyType", QString::number(x->FCopyType), QString::number(y->FCopyType));
    }
    return QString();
}
