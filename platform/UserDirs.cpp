// UserDirs: reader of the XDG user-dirs file (user-dirs.dirs).
#include "UserDirs.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString UserDirsFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + u"/user-dirs.dirs"_s;
}

namespace {

// Takes the value part of an assignment. Returns false when it is not one
// double-quoted string, optionally followed by blanks or a comment.
bool UnquoteValue(const QString &raw, QString *out)
{
    const QString v = raw.trimmed();
    if (!v.startsWith(u'"'))
        return false;
    QString text;
    qsizetype i = 1;
    bool closed = false;
    for (; i < v.size(); ++i) {
        const QChar c = v.at(i);
        if (c == u'\\' && i + 1 < v.size()) {
            text += v.at(++i);
        } else if (c == u'"') {
            closed = true;
            ++i;
            break;
        } else {
            text += c;
        }
    }
    if (!closed)
        return false;
    const QString rest = v.mid(i).trimmed();
    if (!rest.isEmpty() && !rest.startsWith(u'#'))
        return false;
    *out = text;
    return true;
}

} // namespace

QList<TUserDir> ParseUserDirs(const QString &text, const QString &home)
{
    static const QRegularExpression line(u"^\\s*(XDG_[A-Za-z0-9_]*_DIR)\\s*=(.*)$"_s);
    QString homeDir = home;
    while (homeDir.size() > 1 && homeDir.endsWith(u'/'))
        homeDir.chop(1);

    QList<TUserDir> dirs;
    const QStringList lines = text.split(QRegularExpression(u"\r\n|\r|\n"_s));
    for (const QString &l : lines) {
        const QRegularExpressionMatch m = line.match(l);
        if (!m.hasMatch())
            continue;
        TUserDir dir;
        dir.Name = m.captured(1);
        QString value;
        dir.IsString = UnquoteValue(m.captured(2), &value);
        if (dir.IsString) {
            // Only a leading $HOME is a variable; the file format knows no other.
            if (value == u"$HOME"_s)
                value = homeDir;
            else if (value.startsWith(u"$HOME/"_s))
                value = (homeDir == u"/"_s ? QString() : homeDir) + value.mid(5);
            dir.Path = value;
        }
        dirs.append(dir);
    }
    return dirs;
}

bool ReadUserDirs(const QString &filePath, QList<TUserDir> *dirs)
{
    dirs->clear();
    QFile f(filePath);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    *dirs = ParseUserDirs(QString::fromUtf8(f.readAll()), QDir::homePath());
    return true;
}
