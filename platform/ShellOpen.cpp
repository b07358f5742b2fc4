// ShellOpen: detached start of programs, xdg-open for everything else.
#include "ShellOpen.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <mutex>

namespace {
std::mutex handlerMutex;
ShellOpenHandler handlerOverride;

bool isProgramFile(const QFileInfo &info)
{
    if (!info.isFile() || !info.isExecutable())
        return false;
    // The execute bit alone says little: some file systems set it on every
    // file, and a document so marked must still open with its application.
    QFile file(info.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    return IsProgramHead(file.read(4));
}

void openReally(const QString &target, const QString &parameters)
{
    const QFileInfo info(target);
    if (isProgramFile(info)) {
        QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(parameters));
        return;
    }
    // Documents, folders and addresses: the desktop's default handler. The
    // parameters have no meaning for a document, as with a shell open.
    QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}
} // namespace

bool IsProgramHead(QByteArrayView head)
{
    return head.startsWith(QByteArrayView("\x7f" "ELF", 4)) || head.startsWith(QByteArrayView("#!", 2));
}

void OpenWithShell(const QString &target, const QString &parameters)
{
    if (target.isEmpty())
        return;
    ShellOpenHandler handler;
    {
        std::lock_guard lock(handlerMutex);
        handler = handlerOverride;
    }
    if (handler)
        handler(target, parameters);
    else
        openReally(target, parameters);
}

ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler)
{
    std::lock_guard lock(handlerMutex);
    std::swap(handler, handlerOverride);
    return handler;
}
