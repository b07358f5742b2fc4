// ut_Autostart: the user's autostart entry for the program.
#include "ut_Autostart.h"

#include "SaveFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

using namespace Qt::StringLiterals;

// Quoted when it holds a reserved character, with the characters that stay
// special inside quotes escaped. The line is itself a string value, so every
// backslash is then doubled once more.
QString DesktopExecArgument(const QString &argument)
{
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`="_s;
    QString line = argument;
    line.replace(u'%', u"%%"_s);
    const bool quote = std::any_of(line.cbegin(), line.cend(), [](QChar c) { return reserved.contains(c); });
    if (quote) {
        QString quoted;
        for (const QChar c : std::as_const(line)) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        line = u'"' + quoted + u'"';
    }
    line.replace(u'\\', u"\\\\"_s);
    return line;
}

QString AutostartFileName()
{
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + u"/.config"_s;
    return config + u"/autostart/com.zarnoth.Vantor.desktop"_s;
}

bool AutostartEnabled()
{
    QFile file(AutostartFileName());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u"Hidden"_s) && line.section(u'=', 0, 0).trimmed() == u"Hidden"_s
            && line.section(u'=', 1).trimmed() == u"true"_s)
            return false;
    }
    return true;
}

QString AutostartCommand()
{
    if (!QStandardPaths::findExecutable(u"vantor"_s).isEmpty())
        return u"vantor"_s;
    return DesktopExecArgument(QCoreApplication::applicationFilePath());
}

bool SetAutostart(bool enabled)
{
    const QString fileName = AutostartFileName();
    if (!enabled)
        return !QFileInfo::exists(fileName) || QFile::remove(fileName);

    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    const QString entry = u"[Desktop Entry]\n"
                          u"Type=Application\n"
                          u"Name=Vantor\n"
                          u"Comment=Keeps copies of folders up to date\n"
                          u"Exec="_s
                          + AutostartCommand()
                          + u"\n"
                            u"Icon=com.zarnoth.Vantor\n"
                            u"Terminal=false\n"
                            u"X-GNOME-Autostart-enabled=true\n"_s;
    return SaveWholeFile(fileName, entry.toUtf8());
}
