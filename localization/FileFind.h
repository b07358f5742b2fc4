// FileFind: TFileSearch, the enumerator that finds the language files: a
// folder's own matches first, then its sub-folders depth first, in the order
// the file system gives them.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>

class TFileSearch : public QObject
{
    Q_OBJECT

public:
    // SearchFile holds at most this many characters; a longer one is cut.
    static constexpr int kMaxSearchFile = 255;

    explicit TFileSearch(QObject *owner = nullptr);

    // Folder (up to and including its last "/") and mask, for example
    // "/opt/vantor/Languages/*.bab".
    QString SearchFile() const { return FSearchFile; }
    void SetSearchFile(const QString &searchFile) { FSearchFile = searchFile.left(kMaxSearchFile); }

    bool RecurseSubFolders = true;
    // Leaves out a path already found (compared regardless of letter case).
    bool Check4Duplicates = true;
    // Collects the paths found in FilesFound; without it only OnFileFind hears of them.
    bool KeepFilesFound = true;

    // Full paths of the matches of the last search, in the order found.
    const QStringList &FilesFound() const { return FFilesFound; }
    // Ends the search at the next entry; RunSearch clears it when it starts.
    std::atomic<bool> Stop{false};
    bool Busy() const { return FBusy; }

    // Runs the search. Pending window events are processed between entries, so
    // the windows stay responsive while it runs. A folder that cannot be listed
    // contributes nothing; nothing is reported. Never throws.
    void RunSearch();

signals:
    void OnFileFind(const QString &path);
    void OnChangeFolder(const QString &folder);
    void OnFinish();

private:
    void Visit(const QString &folder, const QString &mask, QList<QPair<quint64, quint64>> &visited);

    QString FSearchFile;
    QStringList FFilesFound;
    bool FBusy = false;
};
