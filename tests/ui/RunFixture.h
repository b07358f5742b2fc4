// RunFixture: real folders for runs through the main window, and a way to act
// on a run at a chosen moment: the instant a row shows a given status and
// processed-files count, inside that hand-over, the way a click lands between
// two of them. With a hand-over allowance of 0 the worker waits there, so the
// moment is exact.
#pragma once

#include <QAbstractItemModel>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "frm_Main.h"
#include "ut_LogView.h"
#include "ut_classes.h"

// Writes `files` files of 100 + i bytes below `root`/src, half of them in a
// subfolder, plus one file of `bigBytes` (when not 0) in the subfolder.
inline bool MakeSourceTree(const QString &root, int files, qint64 bigBytes = 0)
{
    if (!QDir().mkpath(root + QStringLiteral("/src/sub")))
        return false;
    for (int i = 0; i < files; ++i) {
        QFile file(root + (i % 2 ? QStringLiteral("/src/sub/f%1.txt") : QStringLiteral("/src/f%1.txt")).arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(100 + i, char('a' + i % 26))) != 100 + i)
            return false;
    }
    if (bigBytes > 0) {
        QFile big(root + QStringLiteral("/src/sub/big.bin"));
        if (!big.open(QIODevice::WriteOnly) || !big.resize(bigBytes))
            return false;
        big.seek(bigBytes - 4);
        big.write("tail");
    }
    return true;
}

// Every file below `dst` (relative paths), and how many differ from the file
// of the same path below `src` or have no source; temporary copies count as
// strays.
struct TTreeCompare
{
    QStringList files;
    int mismatches = 0;
    int strays = 0;
};

inline TTreeCompare CompareTrees(const QString &src, const QString &dst)
{
    TTreeCompare result;
    QDirIterator it(dst, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(dst).relativeFilePath(path);
        result.files << rel;
        if (it.fileName().contains(QStringLiteral(".vantor-"))) {
            ++result.strays;
            continue;
        }
        QFile a(path), b(src + u'/' + rel);
        if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.readAll() != b.readAll())
            ++result.mismatches;
    }
    result.files.sort();
    return result;
}

// Runs `act` once, the first time `entry`'s row shows `status` with `count`
// processed files (checked at every change of a Processed files cell).
inline void AtProgress(TformMain &w, TDataObject *entry, const QString &status, int count,
                       std::function<void()> act)
{
    auto fired = std::make_shared<bool>(false);
    TEntryList *list = &w.EntryList();
    QObject::connect(list, &QAbstractItemModel::dataChanged, &w,
                     [list, entry, status, count, act = std::move(act), fired](const QModelIndex &from,
                                                                                const QModelIndex &to) {
                         if (*fired || from.column() > ecProcessed || to.column() < ecProcessed)
                             return;
                         const int row = list->RowOf(entry);
                         if (row < from.row() || row > to.row())
                             return;
                         if (list->Text(row, ecProcessed) != QString::number(count)
                             || list->Text(row, ecStatus) != status)
                             return;
                         *fired = true;
                         act();
                     });
}

// Lines of the window's log that contain `text`.
inline int LogLinesWith(const TformMain &w, const QString &text)
{
    const TLogModel *log = w.memo->LogModel();
    int found = 0;
    for (qsizetype i = 0; i < log->LineCount(); ++i)
        found += log->Line(i).contains(text) ? 1 : 0;
    return found;
}
