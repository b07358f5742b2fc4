// FileFind: the language file enumerator.
#include "FileFind.h"

#include <QCoreApplication>

#include "FileSystem.h"

using namespace Qt::StringLiterals;

TFileSearch::TFileSearch(QObject *owner)
    : QObject(owner)
{
}

void TFileSearch::RunSearch()
{
    Stop = false;
    FBusy = true;
    FFilesFound.clear();
    const qsizetype slash = FSearchFile.lastIndexOf(u'/');
    const QString folder = FSearchFile.left(slash + 1);
    const QString mask = FSearchFile.mid(slash + 1);
    QList<QPair<quint64, quint64>> visited;
    Visit(folder, mask, visited);
    emit OnFinish();
    FBusy = false;
}

void TFileSearch::Visit(const QString &folder, const QString &mask, QList<QPair<quint64, quint64>> &visited)
{
    // A link may lead back to a folder above; each folder is searched once, so
    // such a loop cannot run the search for ever.
    const QString path = folder.isEmpty() ? u"./"_s : folder;
    if (const auto id = FileIdOf(path)) {
        const QPair<quint64, quint64> key{quint64(id->device), quint64(id->inode)};
        if (visited.contains(key))
            return;
        visited << key;
    }
    emit OnChangeFolder(folder);

    if (const auto matches = ListFolder(path, mask, false)) {
        for (const TFoundItem &item : *matches) {
            QCoreApplication::processEvents();
            if (Stop)
                return;
            const QString found = folder + item.name;
            if (Check4Duplicates && FFilesFound.contains(found, Qt::CaseInsensitive))
                continue;
            if (KeepFilesFound)
                FFilesFound << found;
            emit OnFileFind(found);
        }
    }
    if (!RecurseSubFolders)
        return;
    if (const auto entries = ListFolder(path, u"*.*"_s, false)) {
        for (const TFoundItem &item : *entries) {
            QCoreApplication::processEvents();
            if (Stop)
                return;
            if (item.isFolder)
                Visit(folder + item.name + u'/', mask, visited);
        }
    }
}
