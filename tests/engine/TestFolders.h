// TestFolders: a temporary-folder fixture for file-system tests, shared by the
// engine and platform tests.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

class TestFolders {
public:
    TestFolders() { QVERIFY(FDir.isValid()); }

    // Path below the fixture root ("" is the root itself, with a trailing "/").
    QString path(const QString &relative = QString()) const
    {
        return FDir.path() + u'/' + relative;
    }

    // Creates the file (and its folders) with `data`; sets its modification
    // time when `mtime` is valid.
    QString createFile(const QString &relative, const QByteArray &data,
                       const QDateTime &mtime = QDateTime()) const
    {
        const QString full = path(relative);
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile file(full);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot create %s", qPrintable(full));
        file.write(data);
        file.flush();  // pending writes would change the time again on close
        if (mtime.isValid())
            file.setFileTime(mtime, QFileDevice::FileModificationTime);
        file.close();
        return full;
    }

    QString createDir(const QString &relative) const
    {
        QDir().mkpath(path(relative));
        return path(relative);
    }

    static QByteArray read(const QString &full)
    {
        QFile file(full);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // Names of every file below `relative`, sorted, with paths relative to it.
    QStringList tree(const QString &relative = QString()) const
    {
        QStringList names;
        const QString root = path(relative);
        QDir base(root);
        std::function<void(const QString &)> walk = [&](const QString &dir) {
            const auto items = QDir(dir).entryInfoList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QFileInfo &fi : items) {
                if (fi.isDir() && !fi.isSymLink())
                    walk(fi.filePath());
                else
                    names << base.relativeFilePath(fi.filePath());
            }
        };
        walk(root);
        names.sort();
        return names;
    }

private:
    QTemporaryDir FDir;
};

// Tests of access failures must see the permission bits even when run as root
// (as CI does): this drops, for the calling thread, the capabilities that let
// root read, write and search through any folder.
inline void DropFileAccessOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        data[cap / 32].effective &= ~(1u << (cap % 32));
    syscall(SYS_capset, &header, data);
}
