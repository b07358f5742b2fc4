// LanguageFile: the language file format.
#include "LanguageFile.h"

#include "SaveFile.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

ELanguageError::ELanguageError(const QString &message)
    : std::runtime_error(message.toStdString())
{
}

namespace LanguageFile {

QStringList SplitLines(const QByteArray &data)
{
    QByteArray text = data;
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text.truncate(nul);
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines << QString::fromUtf8(text.constData() + start, i - start);
        if (c == '\r' && i + 1 < size && text.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines << QString::fromUtf8(text.constData() + start, size - start);
    return lines;
}

namespace {

[[noreturn]] void CannotOpen(const QString &path, const QString &reason)
{
    throw ELanguageError(u"Cannot open file \"%1\". %2"_s.arg(path, reason));
}

QByteArray ReadAll(const QString &path, qint64 limit = -1)
{
    // QFile opens a folder without complaint; it is no text file.
    if (QFileInfo(path).isDir())
        CannotOpen(path, u"Is a directory"_s);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        CannotOpen(path, file.errorString());
    QByteArray data = limit < 0 ? file.readAll() : file.read(limit);
    if (file.error() != QFileDevice::NoError)
        CannotOpen(path, file.errorString());
    return data;
}

} // namespace

QStringList ReadLines(const QString &path)
{
    return SplitLines(ReadAll(path));
}

QString ReadFirstLine(const QString &path)
{
    // A first line is short; reading in pieces spares reading a large file whole.
    QByteArray data;
    for (qint64 limit = 4096;; limit *= 4) {
        data = ReadAll(path, limit);
        if (data.size() < limit || data.indexOf('\r') >= 0 || data.indexOf('\n') >= 0 || data.indexOf('\0') >= 0)
            break;
    }
    const QStringList lines = SplitLines(data);
    return lines.isEmpty() ? QString() : lines.constFirst();
}

void WriteLines(const QString &path, const QStringList &lines)
{
    QByteArray data;
    for (const QString &line : lines) {
        QString text = line;
        text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n').replace(u"\n"_s, u"\r\n"_s);
        data += text.toUtf8();
        data += "\r\n";
    }
    QString why;
    if (!SaveWholeFile(path, data, &why))
        throw ELanguageError(u"Cannot create file \"%1\". %2"_s.arg(path, why));
}

QString MenuName(const QString &firstLine)
{
    if (!firstLine.startsWith(kMenuNamePrefix, Qt::CaseSensitive))
        return QString();
    QString name = firstLine.mid(kMenuNamePrefix.size());
    if (name.isNull())
        name = u""_s;
    return name;
}

QString HelpFile(const QString &secondLine)
{
    if (!secondLine.startsWith(kHelpFilePrefix, Qt::CaseSensitive))
        return QString();
    return secondLine.mid(kHelpFilePrefix.size());
}

QString Lookup(const QStringList &lines, const QString &key, const QString &fallback)
{
    for (const QString &line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0 || QStringView(line).left(equals).compare(key, Qt::CaseInsensitive) != 0)
            continue;
        const QString text = line.mid(equals + 1);
        return text.isEmpty() ? fallback : text;
    }
    return fallback;
}

QString IconPath(const QString &languageFile)
{
    return languageFile.left(qMax<qsizetype>(0, languageFile.size() - 4)) + u".ico"_s;
}

} // namespace LanguageFile
