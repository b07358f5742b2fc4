// ProgramMode: execute bits for programs an update delivers.
#include "ProgramMode.h"

#include "ShellOpen.h"

#include <QSaveFile>

bool GrantProgramMode(QSaveFile &file, bool existed, QByteArrayView head)
{
    if (existed || !IsProgramHead(head))
        return true;
    // Following the read bits keeps the umask's choice of who may use it.
    QFileDevice::Permissions mode = file.permissions();
    if (mode & QFileDevice::ReadOwner)
        mode |= QFileDevice::ExeOwner;
    if (mode & QFileDevice::ReadGroup)
        mode |= QFileDevice::ExeGroup;
    if (mode & QFileDevice::ReadOther)
        mode |= QFileDevice::ExeOther;
    return file.setPermissions(mode);
}
