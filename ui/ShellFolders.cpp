// ShellFolders: reading the standard folders and turning them into entries.
#include "ShellFolders.h"

#include <QFileInfo>
#include <QStandardPaths>

#include "UserDirs.h"
#include "frm_EditFile.h"

using namespace Qt::StringLiterals;

EShellFolderError::EShellFolderError(const QString &message)
    : std::runtime_error(message.toStdString()), FMessage(message)
{
}

QList<TShellFolder> ReadShellFolders()
{
    QList<TShellFolder> folders;
    const QString file = UserDirsFilePath();
    QList<TUserDir> dirs;
    if (ReadUserDirs(file, &dirs) || QFileInfo::exists(file)) {
        for (const TUserDir &d : dirs)
            folders.append(TShellFolder{d.Name, d.Path, d.IsString});
        return folders;
    }
    const std::pair<QStandardPaths::StandardLocation, QString> locations[] = {
        {QStandardPaths::DesktopLocation, u"Desktop"_s},     {QStandardPaths::DocumentsLocation, u"Documents"_s},
        {QStandardPaths::DownloadLocation, u"Downloads"_s},  {QStandardPaths::MusicLocation, u"Music"_s},
        {QStandardPaths::PicturesLocation, u"Pictures"_s},   {QStandardPaths::MoviesLocation, u"Videos"_s},
    };
    for (const auto &[location, name] : locations) {
        const QString path = QStandardPaths::writableLocation(location);
        if (!path.isEmpty())
            folders.append(TShellFolder{name, path, true});
    }
    return folders;
}

QString ShellFolderDest(const QString &root, const QString &folder)
{
    QString dest = root;
    if (!dest.isEmpty() && !dest.endsWith(u'/'))
        dest += u'/';
    return dest + PathTail(folder);
}

void ImportShellFolderList(const QList<TShellFolder> &folders, const QString &root,
                           const std::function<void(const QString &src, const QString &dest)> &add)
{
    for (const TShellFolder &f : folders) {
        if (f.Name.isEmpty())
            continue;
        if (!f.IsString)
            throw EShellFolderError(u"Invalid data type for '%1'"_s.arg(f.Name));
        if (f.Path.isEmpty())
            continue;
        add(f.Path, ShellFolderDest(root, f.Path));
    }
}
