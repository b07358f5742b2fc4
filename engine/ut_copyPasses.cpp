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

std::atomic<bool> gDurable{true};

// `pattern` with "%1" and "%2" filled as pattern.arg(first, second) fills
// them, each argument given as a folder and a name, built in one allocation:
// every handled file logs such a line.
QString FormatPair(const QString &pattern, QStringView folder1, QStringView name1,
                   QStringView folder2, QStringView name2)
{
    const qsizetype at1 = pattern.indexOf(u"%1");
    const qsizetype at2 = pattern.indexOf(u"%2");
    if (at1 < 0 || at2 < at1 + 2 || pattern.count(u'%') != 2) {
        return pattern.arg(folder1.toString().append(name1), folder2.toString().append(name2));
    }
    const QStringView text(pattern);
    QString line;
    line.reserve(pattern.size() - 4 + folder1.size() + name1.size() + folder2.size()
                 + name2.size());
    line.append(text.left(at1)).append(folder1).append(name1);
    line.append(text.mid(at1 + 2, at2 - at1 - 2)).append(folder2).append(name2);
    line.append(text.mid(at2 + 2));
    return line;
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

QString TCopyPasses::TFileLine::Text() const
{
    return pattern ? FormatPair(*pattern, first, name, second, name) : QString();
}

void TCopyPasses::ShowProgressNow()
{
    FEntry->SetProcessed(FCount);
    if (FFileLine.pattern)
        AddLog(FFileLine.Text());
    else if (!FStatusText.isEmpty())
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
    // A relative folder would be taken from the program's current folder,
    // which the user never sees.
    if (!FSource.startsWith(u'/'))
        return UiText::sSourceNotAbsolute.arg(FSource);
    if (!FDest.startsWith(u'/'))
        return UiText::sDestNotAbsolute.arg(FDest);
    if (!MaskStaysInside(FFileMask))
        return UiText::sMaskLeavesFolder.arg(FFileMask);
    return QString();
}

void TCopyPasses::SetDurable(bool on)
{
    gDurable.store(on);
}

void TCopyPasses::Refuse(const QString &line, const QString &reason)
{
    FOutcome.Refused = line;
    LogFailure(line, reason);
}

void TCopyPasses::LogFailure(const QString &line, const QString &reason)
{
    AddLog(line);
    if (!reason.isEmpty())
        AddLog(UiText::sFailureReason.arg(reason));
}

bool TCopyPasses::SourceStillThere() const
{
    // An unmounted disk leaves its (empty) mount point behind, a replaced
    // folder has another identity: either way the source is not what the
    // copy pass saw, and its missing files say nothing about the destination.
    const auto id = FileIdOf(FSource);
    return id && FSourceRootId && *id == *FSourceRootId && CanListFolder(FSource);
}

QString TCopyPasses::MakeDurable()
{
    if (!FDestSync)
        return QString();
    const int error = FDestSync->Sync();
    return error ? SystemErrorText(error) : QString();
}

void TCopyPasses::Execute()
{
    if (!FSettingsTaken)
        TakeEntrySettings();
    FDeleteList.clear();
    FSourceListings.clear();
    FFileLine = TFileLine{};
    FCount = 0;
    FOutcome = TRunOutcome{};
    const QString refusal = RefusalReason();
    if (!refusal.isEmpty()) {
        // Walking anyway would mean the process's current folder, or files
        // outside the chosen folders.
        if (FCopyType != ctNothing)
            Refuse(refusal);
        FPhase = phFinished;
        return;
    }
    const bool durable = gDurable.load() && FCopyType != ctNothing;
    FDestSync = durable ? std::make_unique<TDestinationSync>() : nullptr;

    FPhase = phCopy;
    FCount = 0;
    SetStatus(UiText::sCopyingStatus);
    FSourceRootId = FileIdOf(FSource);
    // Nothing is ever written into, or deleted from, the source tree.
    FDestRoot = std::make_unique<TFencedFolder>(FDest, FSourceRootId);
    FStartEntries = -1;
    const bool sourceListed = Walk(FSource + FFileMask);

    if (FCopyType == ctReplicate && !StopRequested()) {
        // Without a source that is really there every destination file would
        // look deleted.
        const QString path = FSource + FFileMask;
        const QString startFolder = path.left(path.lastIndexOf(u'/') + 1);
        QString guard;
        if (!sourceListed)
            guard = UiText::sSourceUnreadable.arg(startFolder);
        else if (FStartEntries == 0)
            guard = UiText::sSourceEmpty.arg(startFolder);  // the look of a disk not mounted
        else if (!SourceStillThere())
            guard = UiText::sSourceLost.arg(FSource);
        if (!guard.isEmpty()) {
            Refuse(guard);
            if (durable && FOutcome.Copied > 0 && !FAbandon.load())
                MakeDurable();
            FDestSync.reset();
            FPhase = phFinished;
            return;
        }
    }

    FPhase = phCheck;
    FCount = 0;
    SetStatus(UiText::sCheckingStatus);
    Walk(FDest + FFileMask);
    FSourceListings.clear();

    FPhase = phDelete;
    SetStatus(UiText::sDeletingStatus);
    if (!FDeleteList.isEmpty()) {
        if (!SourceStillThere()) {
            Refuse(UiText::sSourceLost.arg(FSource));
        } else {
            // The new copies reach the disk before any old file goes.
            const QString syncError = durable && FOutcome.Copied > 0 && !FAbandon.load()
                ? MakeDurable() : QString();
            if (!syncError.isEmpty())
                Refuse(UiText::sSyncFailed.arg(FDest), syncError);
            else
                DeletePass();
        }
    }

    if (durable && (FOutcome.Copied > 0 || FOutcome.Deleted > 0) && !FAbandon.load()) {
        const QString syncError = MakeDurable();
        if (!syncError.isEmpty()) {
            ++FOutcome.Failed;
            LogFailure(UiText::sSyncFailedAtEnd.arg(FDest), syncError);
        }
    }
    FDeleteChain.clear();
    FDeleteChainNames.clear();
    FDestSync.reset();
    FDestRoot.reset();
    FPhase = phFinished;
}

TFencedFolder &TCopyPasses::DestFolderFor(const QString &relative,
                                          std::vector<std::unique_ptr<TFencedFolder>> &chain,
                                          QStringList &names)
{
    QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
    qsizetype common = 0;
    while (common < names.size() && common < parts.size() && names[common] == parts[common])
        ++common;
    chain.resize(size_t(common));
    names.resize(common);
    for (qsizetype i = common; i < parts.size(); ++i) {
        TFencedFolder &parent = chain.empty() ? *FDestRoot : *chain.back();
        chain.push_back(std::make_unique<TFencedFolder>(parent, parts[i]));
        names.append(parts[i]);
    }
    return chain.empty() ? *FDestRoot : *chain.back();
}

bool TCopyPasses::Walk(const QString &pathAndMask)
{
    const qsizetype cut = pathAndMask.lastIndexOf(u'/') + 1;
    const QString folder = pathAndMask.left(cut);
    const QString mask = pathAndMask.mid(cut);
    FWalkPath.clear();
    std::vector<std::unique_ptr<TFencedFolder>> chain;
    QStringList names;
    if (FPhase == phCopy) {
        TFencedFolder &there = DestFolderFor(RelativeTail(FSource, folder), chain, names);
        const TFolderHandle here(folder);
        return WalkSource(folder, here, there, mask, true);
    }
    const QString relative = RelativeTail(FDest, folder);
    TFencedFolder &here = DestFolderFor(relative, chain, names);
    TFolderHandle there(FSource + relative);
    WalkDest(folder, here, there, mask);
    return true;
}

bool TCopyPasses::IsDestRoot(const TFolderHandle &folder) const
{
    if (CleanFolder(folder.Folder()) == CleanFolder(FDest))
        return true;
    // Asked each time: the destination root may only come into being during the pass.
    const auto rootId = FDestRoot->State() == TFencedFolder::fsOpen ? FDestRoot->RootId()
                                                                      : std::nullopt;
    const auto id = folder.Id();
    return rootId && id && *rootId == *id;
}

bool TCopyPasses::WalkSource(const QString &folder, const TFolderHandle &here,
                             TFencedFolder &there, const QString &mask, bool atStart)
{
    WaitIfPaused();
    const auto id = here.Id();
    if (id) {
        // A folder link back up the current path would make the walk endless.
        if (std::find(FWalkPath.begin(), FWalkPath.end(), *id) != FWalkPath.end())
            return false;
        FWalkPath.push_back(*id);
    }

    // One listing serves both: the matching files first, then every subfolder,
    // each in the order the file system lists them.
    int error = 0;
    const auto items = here.List(QStringLiteral("*.*"), false, &error);
    if (!items && FCopyType != ctNothing) {
        // Its files would be left out without a word. (A replicate run's
        // first folder has a guard line of its own; a folder that vanished
        // since its parent was listed holds nothing to copy.)
        ++FOutcome.Failed;
        const bool vanished = !atStart && (error == ENOENT || error == ENOTDIR);
        if (!(atStart && FCopyType == ctReplicate) && !vanished)
            LogFailure(UiText::sFolderUnreadable.arg(folder), SystemErrorText(error));
    }
    if (atStart && items)
        FStartEntries = items->size();
    // The check pass asks this folder for the names it holds; the listing
    // made here answers as long as the folder is still the same one.
    const QString relative = RelativeTail(FSource, folder);
    if (items && id && FCopyType == ctReplicate)
        FSourceListings.insert(relative, TSourceListing{*id, *items});

    if (items && FCopyType != ctNothing) {
        const bool destWasMissing = there.State() == TFencedFolder::fsMissing;
        const QString destPath = FDest + relative;
        for (const TFoundItem &item : *items) {
            if (StopRequested())
                break;
            if (!item.isFolder && MatchesMask(item.name, mask))
                ProcessFile(folder, destPath, item, here, there, destWasMissing);
        }
    }

    if (items && !StopRequested()) {
        WaitIfPaused();
        for (const TFoundItem &item : *items) {
            if (StopRequested())
                break;
            if (!item.isFolder)
                continue;
            const TFolderHandle sub(here, item.name);
            // Never walk into the destination when it lies inside the source.
            if (IsDestRoot(sub))
                continue;
            TFencedFolder subThere(there, item.name);
            WalkSource(folder + item.name + u'/', sub, subThere, mask, false);
        }
    }

    if (id)
        FWalkPath.pop_back();
    return items.has_value();
}

void TCopyPasses::WalkDest(const QString &folder, TFencedFolder &here, TFolderHandle &there,
                           const QString &mask)
{
    WaitIfPaused();
    const bool checks = FCopyType == ctReplicate;
    if (here.State() != TFencedFolder::fsOpen) {
        // A folder the run never made is simply absent; one that is there but
        // cannot be opened keeps its files unchecked (and so undeleted).
        if (checks && here.State() == TFencedFolder::fsUnreadable) {
            ++FOutcome.Failed;
            LogFailure(UiText::sFolderUnreadable.arg(folder), here.Reason());
        }
        return;
    }
    int error = 0;
    const auto items = here.Handle().List(QStringLiteral("*.*"), false, &error);
    if (!items) {
        if (checks && error != ENOENT && error != ENOTDIR) {
            ++FOutcome.Failed;
            LogFailure(UiText::sFolderUnreadable.arg(folder), SystemErrorText(error));
        }
        return;
    }
    if (checks) {
        // One listing of the source folder answers for all its files: the copy
        // pass's own when the folder is still the one it listed.
        const QString relative = RelativeTail(FDest, folder);
        const auto listed = FSourceListings.constFind(relative);
        const auto thereId = listed != FSourceListings.cend() ? there.Id() : std::nullopt;
        if (thereId && *thereId == listed->id)
            there.UseNames(listed->items);
        else
            there.ListNames();
        const QString sourcePath = FSource + relative;
        for (const TFoundItem &item : *items) {
            if (StopRequested())
                break;
            if (!item.isFolder && MatchesMask(item.name, mask))
                ProcessFile(folder, sourcePath, item, there, here, false);
        }
    }
    if (StopRequested())
        return;
    WaitIfPaused();
    for (const TFoundItem &item : *items) {
        if (StopRequested())
            break;
        // Links in the destination are never followed: what they lead to is
        // not the run's to check or delete.
        if (!item.isFolder || item.isLink)
            continue;
        TFencedFolder sub(here, item.name);
        // The source root (when it lies inside the destination) is refused
        // by the fence and left alone.
        if (sub.State() == TFencedFolder::fsRefused)
            continue;
        TFolderHandle subThere(there, item.name);
        WalkDest(folder + item.name + u'/', sub, subThere, mask);
    }
}

void TCopyPasses::ProcessFile(const QString &folder, const QString &otherPath,
                              const TFoundItem &item, const TFolderHandle &sourceFolder,
                              TFencedFolder &destFolder, bool destWasMissing)
{
    if (FCopyType == ctNothing)
        return;
    WaitIfPaused();
    // A stop that arrived while the worker was halted here ends the walk now.
    if (StopRequested())
        return;
    if (FPhase == phCopy) {
        ++FCount;
        // A destination folder that was not there when this folder's walk began
        // holds only what this run has put there since: no need to look. Should
        // someone else have made the file meanwhile, the copy replaces it, as it
        // would replace any changed file.
        TOpenedFile source;
        bool changed = false;
        bool destMissing = true;
        if (destWasMissing || destFolder.State() != TFencedFolder::fsOpen) {
            // Nothing to compare with: the file is copied unless the change rule
            // sees nothing in it either (no size, no time). The open tells both
            // facts; only a file that cannot be opened needs a stat.
            source = sourceFolder.Open(item.name);
            changed = FileChanged(
                source.IsOpen() ? source.Facts() : sourceFolder.StatFactsOf(item.name),
                TFileFacts{});
        } else {
            // The change rule needs only a stat of each side; a file is opened
            // only to be copied.
            const TFileFacts destFacts = destFolder.Handle().StatFactsOf(item.name);
            destMissing = !destFacts.openedSize && !destFacts.dosTime;
            changed = FileChanged(sourceFolder.StatFactsOf(item.name), destFacts);
            if (changed)
                source = sourceFolder.Open(item.name);
        }
        CopyOne(folder, otherPath, changed, source, destFolder, item.name, destMissing);
    } else if (FPhase == phCheck && FCopyType == ctReplicate) {
        ++FCount;
        CheckOne(folder, otherPath, item.name, sourceFolder.IsMissing(item.name));
    }
}

void TCopyPasses::CopyOne(const QString &sourcePath, const QString &destPath, bool changed,
                          TOpenedFile &opened, TFencedFolder &destFolder, const QString &name,
                          bool destMissing)
{
    if (changed) {
        QString why;
        bool copied = false;
        if (!opened.IsOpen()) {
            why = opened.ErrorText();
        } else if (destFolder.Make(&why)) {   // made (or found) once for all the files of a folder
            if (FDestSync)
                FDestSync->WillWrite(destFolder.Handle());
            copied = CopyFileReplacing(opened, destFolder.Handle(), name, destMissing, &FStop, &why);
        }
        if (copied) {
            ++FOutcome.Copied;
            if (FDestSync)
                FDestSync->Written(opened.Facts().openedSize.value_or(0));
        } else {
            // A copy abandoned by a stop is not a failure of the file.
            if (!StopRequested())
                ++FOutcome.Failed;
            LogFailure(UiText::sCopyFailed.arg(sourcePath + name, destPath + name),
                       StopRequested() ? QString() : why);
        }
    }
    opened.Close();
    FFileLine.pattern = &UiText::sCopyingLog;
    FFileLine.first = sourcePath;
    FFileLine.second = destPath;
    FFileLine.name = name;
    ShowProgress();
}

void TCopyPasses::CheckOne(const QString &destPath, const QString &sourcePath,
                           const QString &name, bool sourceMissing)
{
    FFileLine.pattern = &UiText::sCheckingLog;
    FFileLine.first = destPath;
    FFileLine.second = sourcePath;
    FFileLine.name = name;
    // Only a source that is certainly gone: one we merely cannot see (no access
    // to its folder) keeps its destination copy.
    if (sourceMissing)
        FDeleteList.append(destPath + name);
    ShowProgress();
}

void TCopyPasses::DeleteOne(const QString &file)
{
    FFileLine.pattern = nullptr;
    FStatusText = UiText::sDeletingLog.arg(file);
    // Reached from the destination root one folder at a time, never through
    // a link, so nothing outside the destination can be deleted.
    const QString relative = RelativeTail(FDest, file);
    const qsizetype slash = relative.lastIndexOf(u'/');
    TFencedFolder &folder = DestFolderFor(relative.left(slash + 1), FDeleteChain,
                                          FDeleteChainNames);
    const QString name = relative.mid(slash + 1);
    int error = ENOENT;
    QString why;
    if (relative.isEmpty() || name.isEmpty()) {
        why = SystemErrorText(ENOENT);
    } else if (folder.State() == TFencedFolder::fsOpen) {
        if (FDestSync)
            FDestSync->WillWrite(folder.Handle());
        error = folder.Handle().DeleteFile(name);
        why = error ? SystemErrorText(error) : QString();
    } else {
        why = folder.Reason();
    }
    if (error == 0 && why.isEmpty()) {
        ++FOutcome.Deleted;
    } else {
        ++FOutcome.Failed;
        LogFailure(UiText::sDeleteFailed.arg(file), why);
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
