// Descriptor: sections of the descriptor copy, folder creation and program start.
#include "Descriptor.h"

#include "ProfileFile.h"
#include "ShellOpen.h"

#include <QDir>
#include <QFileInfo>

QString DescriptorSection(const QString &version, const QString &suffix)
{
    return version + u'\\' + suffix;
}

QString DescriptorLocalPath(const QString &text)
{
    QString path = text;
    path.replace(u'\\', u'/');
    return path;
}

int ReadDescriptorInfo(const QString &path, const QString &version, QStringList &lines,
                       bool &showDetails)
{
    const TProfileFile ini(path);
    lines = ini.ReadSection(DescriptorSection(version, QStringLiteral("Info")));
    showDetails = ini.ReadBool(QStringLiteral("ShowDetails"), QStringLiteral("Show"), false);
    return ini.ReadInteger(DescriptorSection(version, QStringLiteral("UpdateID")),
                           QStringLiteral("UpdateID"), 0);
}

void ReadFileLists(const QString &path, const QString &version, QStringList &ftpList,
                   QStringList &httpList)
{
    const TProfileFile ini(path);
    ftpList = ini.ReadSectionValues(DescriptorSection(version, QStringLiteral("Files\\FTP")));
    httpList = ini.ReadSectionValues(DescriptorSection(version, QStringLiteral("Files\\HTTP")));
}

void ReadRunList(const QString &path, const QString &version, QStringList &runList)
{
    const TProfileFile ini(path);
    runList = ini.ReadSectionValues(DescriptorSection(version, QStringLiteral("Run")));
}

QStringList TakeFileEntries(const QStringList &entries, bool showDetails, const TDescriptorLog &addLog)
{
    QStringList taken;
    for (const QString &entry : entries) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq < 0) {
            taken << entry; // the download operations skip these themselves
            continue;
        }
        const QString source = entry.left(eq);
        const QString target = entry.mid(eq + 1);
        if (target.isEmpty() || target == u"*") {
            if (showDetails && addLog)
                addLog(QStringLiteral("Skipped: ") + source);
            continue;
        }
        taken << source + u'=' + DescriptorLocalPath(target);
    }
    return taken;
}

void CreateDirectories(const QString &path, const QString &version, const QString &installDir,
                       bool showDetails, const TDescriptorLog &addLog)
{
    const TProfileFile ini(path);
    const QStringList entries = ini.ReadSectionValues(DescriptorSection(version, QStringLiteral("Directory")));
    QDir dir; // the working folder, for bare names
    for (const QString &entry : entries) {
        const qsizetype eq = entry.indexOf(u'=');
        const QString name = DescriptorLocalPath(entry.left(eq));
        if (entry.mid(eq + 1) != u"1")
            continue;
        const QString folder = installDir + name;
        // One level only: a nested folder is listed after its parent.
        if (dir.mkdir(folder)) {
            if (showDetails && addLog)
                addLog(QStringLiteral("Created: ") + folder);
            continue;
        }
        if (showDetails) {
            if (addLog)
                addLog(QStringLiteral("Can not create: ") + folder);
        } else {
            dir.mkdir(name);
        }
    }
}

void RunPrograms(const QStringList &runList, const QString &installDir)
{
    for (QString entry : runList) {
        const bool absolute = entry.contains(u'*');
        if (absolute)
            entry.chop(1);
        const QString value = entry.mid(entry.indexOf(u'=') + 1);
        const qsizetype bar = value.indexOf(u'|');
        const QString program = DescriptorLocalPath(bar < 0 ? value : value.left(bar));
        const QString parameters = bar < 0 ? QString() : value.mid(bar + 1);
        if (program.isEmpty())
            continue;
        if (absolute) {
            OpenWithShell(program, parameters);
            continue;
        }
        const QString file = installDir + program;
        if (QFileInfo(file).isFile())
            OpenWithShell(file, parameters);
    }
}
