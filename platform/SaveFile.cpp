// SaveFile: writing a whole file the safe way.
#include "SaveFile.h"

#include <QSaveFile>

bool SaveWholeFile(const QString &path, const QByteArray &data, QString *error)
{
    // Unbuffered on purpose: through Qt's buffer a short write (disk full, file
    // size limit) is lost and commit() would rename a truncated file into place.
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (ok) {
        ok = file.write(data) == data.size();
        if (ok)
            ok = file.commit();
        else
            file.cancelWriting();
    }
    if (!ok && error)
        *error = file.errorString();
    return ok;
}
