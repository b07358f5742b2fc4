// ut_copyPasses: copy, check and delete passes over the folder trees.
#include "ut_copyPasses.h"

#include "VantorHost.h"
#include "ut_classes.h"
#include "ut_fileUtils.h"
#include "ut_General.h"

#include <QDir>
#include <algorithm>
#include <cerrno>

namespace {
// The folder part of a mask ("sub/" of "sub/*.txt") must stay below the folder
// it is appended to: no absolute path, no ".." step.
bool MaskStaysInside(const QString &mask)
{
    const qsizetype slash = mask.lastIndexOf(u'/');
    if (slash < 0)
        return true;
    const QString folderPart = mask.left(slash);
    if (folderPart.startsWith(u'/') || mask.startsWith(u'/'))
        return false;
    const auto steps = QStringView(folderPart).split(u'/');
    return std::none_of(steps.begin(), steps.end(),
                        [](QStringView step) { return step == u".."; });
}

QString CleanFolder(const QString &path)
{
    return path.isEmpty() ? QString() : AddTrailingBackslash(QDir::cleanPath(path));
}
} // namespace

TCopyPasses::TCopyPasses(TDataObject *entry, TVantorHost *host)
    : FEntry(entry)
    , FHost(host)
{
}

void TCopyPasses::SetStatus(const QString &text)
{
    FEntry->SetStatus(text);
}

void TCopyPasses::ShowProgress()
{
    ShowProgressNow();
}

void TCopyPasses::AddLog(const QString &text)
{
    if (FHost)
        FHost->AddLog(text);
}

void TCopyPasses::ShowProgressNow()
{
    FEntry->SetProcessed(FCount);
    if (!FStatusText.isEmpty())
        AddLog(FStatusText);
}

void TCopyPasses::TakeEntrySettings()
{
    FSource = FEntry->FSource;
    FDest = FEntry->FDest;
    FFileMask = FEntry->FFileMask;
    FCopyType = FEntry->FCopyType;
    FSettingsTaken = true;
}

QString TCopyPasses::RefusalReason() const
{
    if (FSource.isEmpty())
        return UiText::sNoSourceFolder;
    if (FDest.isEmpty())
        return UiText::sNoDestFolder;
    if (!MaskStaysInside(FFileMask))
        return UiText::sMaskLeavesFolder.arg(FFileMask);
    return QString();
}

void TCopyPasses::Execute()
{
    if (!FSettingsTaken)
        TakeEntrySettings();
    FDeleteList.clear();
    FCount = 0;
    FOutcome = TRunOutcome{};
    const QString refusal = RefusalReason();
    if (!refusal.isEmpty()) {
        // Walking anyway would mean the process's current folder, or files
        // outside the chosen folders.
        if (FCopyType != ctNothing) {
            AddLog(refusal);
            FOutcome.Refused = refusal;
        }
        FPhase = phFinished;
        return;
    }

    FPhase = phCopy;
    FCount = 0;
    SetStatus(UiText::sCopyingStatus);
    FOtherRoot = CleanFolder(FDest);
    const bool sourceListed = Walk(FSource + FFileMask);

    if (FCopyType == ctReplicate && !sourceListed && !StopRequested()) {
        // Without a readable source every destination file would look deleted.
        const QString path = FSource + FFileMask;
        FOutcome.Refused = UiText::sSourceUnreadable.arg(path.left(path.lastIndexOf(u'/') + 1));
        AddLog(FOutcome.Refused);
        FPhase = phFinished;
        return;
    }

    FPhase = phCheck;
    FCount = 0;
    SetStatus(UiText::sCheckingStatus);
    FOtherRoot = CleanFolder(FSource);
    Walk(FDest + FFileMask);

    FPhase = phDelete;
    SetStatus(UiText::sDeletingStatus);
    DeletePass();

    FPhase = phFinished;
}

bool TCopyPasses::Walk(const QString &pathAndMask)
{
    const qsizetype cut = pathAndMask.lastIndexOf(u'/') + 1;
    FWalkPath.clear();
    return WalkFolder(pathAndMask.left(cut), pathAndMask.mid(cut));
}

bool TCopyPasses::IsOtherRoot(const QString &folder, const std::optional<TFileId> &id) const
{
    if (FOtherRoot.isEmpty())
        return false;
    if (CleanFolder(folder) == FOtherRoot)
        return true;
    if (!id)
        return false;
    // Looked up each time: the other root may only come into being during the pass.
    const auto otherId = FileIdOf(FOtherRoot);
    return otherId && *otherId == *id;
}

bool TCopyPasses::WalkFolder(const QString &folder, const QString &mask)
{
    WaitIfPaused();
    const auto id = FileIdOf(folder);
    if (id) {
        // A folder link back up the current path would make the walk endless.
        if (std::find(FWalkPath.begin(), FWalkPath.end(), *id) != FWalkPath.end())
            return false;
        FWalkPath.push_back(*id);
    }

    // One listing serves both: the matching files first, then every subfolder,
    // each in the order the file system lists them.
    const auto items = ListFolder(folder, QStringLiteral("*.*"), false);
    // A source folder that cannot be read leaves its files uncopied; in the
    // check pass only a destination folder that is there but unreadable counts
    // (one this run never made is simply absent).
    if (!items && FCopyType != ctNothing) {
        const bool absent = errno == ENOENT || errno == ENOTDIR;
        if (FPhase == phCopy || (FCopyType == ctReplicate && !absent))
            ++FOutcome.Failed;
    }
    if (items && FCopyType != ctNothing) {
        const TFolderHandle here(folder);
        TFolderHandle there(FPhase == phCopy ? FDest + RelativeTail(FSource, folder)
                                                   : FSource + RelativeTail(FDest, folder));
        for (const TFoundItem &item : *items) {
            if (StopRequested())
                break;
            if (!item.isFolder && MatchesMask(item.name, mask))
                ProcessFile(folder, item, here, there);
        }
    }

    if (items && !StopRequested()) {
        WaitIfPaused();
        for (const TFoundItem &item : *items) {
            if (StopRequested())
                break;
            if (!item.isFolder)
                continue;
            const QString sub = folder + item.name + u'/';
            // Never walk into the other tree when one lies inside the other.
            if (IsOtherRoot(sub, FileIdOf(sub)))
                continue;
            WalkFolder(sub, mask);
        }
    }

    if (id)
        FWalkPath.pop_back();
    return items.has_value();
}

void TCopyPasses::ProcessFile(const QString &folder, const TFoundItem &item,
                              const TFolderHandle &here, TFolderHandle &there)
{
    if (FCopyType == ctNothing)
        return;
    WaitIfPaused();
    // A stop that arrived while the worker was halted here ends the walk now.
    if (StopRequested())
        return;
    const QString full = folder + item.name;
    if (FPhase == phCopy) {
        ++FCount;
        // The source is opened once, for the change rule and for the copy.
        TOpenedFile source = here.Open(item.name);
        // A destination folder that was not there when this folder's walk began
        // holds only what this run has put there since: no need to look. Should
        // someone else have made the file meanwhile, the copy replaces it, as it
        // would replace any changed file.
        const TFileFacts destFacts = there.FolderWasMissing() ? TFileFacts{}
                                                           : there.FactsOf(item.name);
        const bool destMissing = !destFacts.openedSize && !destFacts.dosTime;
        CopyOne(full, FDest + RelativeTail(FSource, full),
                FileChanged(source.Facts(), destFacts), source, there, item.name, destMissing);
    } else if (FPhase == phCheck && FCopyType == ctReplicate) {
        ++FCount;
        CheckOne(full, FSource + RelativeTail(FDest, full), there.IsMissing(item.name));
    }
}

void TCopyPasses::CopyOne(const QString &source, const QString &dest, bool changed,
                          TOpenedFile &opened, TFolderHandle &destFolderHandle,
                          const QString &name, bool destMissing)
{
    if (changed) {
        const QString destFolder = dest.left(dest.lastIndexOf(u'/') + 1);
        // The files of one folder go to one destination folder: it is made (or
        // found) once, and again only after a copy into it failed.
        const bool folderReady = destFolder == FReadyFolder || ForceFolders(destFolder);
        if (folderReady)
            destFolderHandle.Reopen();  // no-op when it is open already
        // An unreadable source is copied through its path, which fails and
        // says why as it always did.
        const bool copied = folderReady
            && (opened.IsOpen() ? CopyFileReplacing(opened, destFolderHandle, name, destMissing,
                                                    &FStop)
                                : CopyFileReplacing(source, dest, &FStop));
        FReadyFolder = copied ? destFolder : QString();
        if (copied) {
            ++FOutcome.Copied;
        } else {
            ++FOutcome.Failed;
            AddLog(UiText::sCopyFailed.arg(source, dest));
        }
    }
    opened.Close();
    FStatusText = UiText::sCopyingLog.arg(source, dest);
    ShowProgress();
}

void TCopyPasses::CheckOne(const QString &dest, const QString &source, bool sourceMissing)
{
    FStatusText = UiText::sCheckingLog.arg(dest, source);
    // Only a source that is certainly gone: one we merely cannot see (no access
    // to its folder) keeps its destination copy.
    if (sourceMissing)
        FDeleteList.append(dest);
    ShowProgress();
}

void TCopyPasses::DeleteOne(const QString &file)
{
    FStatusText = UiText::sDeletingLog.arg(file);
    if (DeleteFileAt(file)) {
        ++FOutcome.Deleted;
    } else {
        ++FOutcome.Failed;
        AddLog(UiText::sDeleteFailed.arg(file));
    }
    ShowProgress();
}

void TCopyPasses::DeletePass()
{
    for (const QString &file : std::as_const(FDeleteList)) {
        WaitIfPaused();
        if (FAbandon.load())
            break;
        DeleteOne(file);
    }
}
