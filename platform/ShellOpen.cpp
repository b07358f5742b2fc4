// ShellOpen: detached start of programs, xdg-open for everything else.
#include "ShellOpen.h"

#include <QFileInfo>
#include <QProcess>
#include <mutex>

namespace {
std::mutex handlerMutex;
ShellOpenHandler handlerOverride;

void openReally(const QString &target, const QString &parameters)
{
    const QFileInfo info(target);
    if (info.isFile() && info.isExecutable()) {
        QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(parameters));
        return;
    }
    // Documents, folders and addresses: the desktop's default handler. The
    // parameters have no meaning for a document, as with a shell open.
    QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}
} // namespace

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
