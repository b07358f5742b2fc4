// ProfileFile: parsing and atomic rewriting of INI text files.
#include "ProfileFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

EProfileWriteError::EProfileWriteError(const QString &message)
    : std::runtime_error(message.toStdString())
    , FMessage(message)
{
}

namespace {

// The name of a section header line, or nothing when the line is no header.
std::optional<QString> headerName(const QString &line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    return t.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

// The key of a line inside a section, or nothing for blank and comment lines.
// A line made only of "=..." has an empty name: it is not listed, because in a
// zero-separated name list an empty name would read as the end of the list.
std::optional<QString> keyName(const QString &line)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';'))
        return std::nullopt;
    const qsizetype eq = t.indexOf(u'=');
    return eq < 0 ? t : t.left(eq).trimmed();
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Keeps the names that fit into the list buffer, each with its terminating zero,
// plus the final zero that ends the list.
QStringList fitNameBuffer(const QStringList &names)
{
    QStringList fitting;
    qsizetype used = 1;
    for (const QString &name : names) {
        used += name.toUtf8().size() + 1;
        if (used > TProfileFile::NameListBufferSize)
            break;
        fitting << name;
    }
    return fitting;
}

QString cutValue(QString value)
{
    if (value.size() > TProfileFile::MaxValueLength) {
        qsizetype n = TProfileFile::MaxValueLength;
        if (value.at(n - 1).isHighSurrogate())
            --n; // never leave half a character behind
        value.truncate(n);
    }
    return value;
}

} // namespace

TProfileFile::TProfileFile(const QString &fileName)
    : FFileName(fileName)
{
    Reload();
}

void TProfileFile::Reload()
{
    FLines.clear();
    QFile f(FFileName);
    if (!f.open(QIODevice::ReadOnly))
        return;
    QByteArray data = f.readAll();
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    FLines = QString::fromUtf8(data).split(lineEnd);
    if (!FLines.isEmpty() && FLines.constLast().isEmpty())
        FLines.removeLast(); // the break after the last line opens no new line
}

void TProfileFile::Save()
{
    QByteArray data;
    for (const QString &line : std::as_const(FLines)) {
        data += line.toUtf8();
        data += "\r\n";
    }
    // Unbuffered on purpose: through the buffer, a short write (disk full, file
    // size limit) is lost and commit() would rename a truncated file into place.
    QSaveFile f(FFileName);
    bool ok = f.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (ok) {
        ok = f.write(data) == data.size();
        if (ok)
            ok = f.commit();
        else
            f.cancelWriting();
    }
    if (!ok)
        throw EProfileWriteError(QStringLiteral("Unable to write to %1").arg(FFileName));
}

void TProfileFile::Clear()
{
    FLines.clear();
}

TProfileFile::TLocation TProfileFile::findSection(const QString &section) const
{
    TLocation where;
    for (int i = 0; i < FLines.size(); ++i) {
        const auto name = headerName(FLines.at(i));
        if (!name)
            continue;
        if (where.header >= 0) {
            where.end = i;
            return where;
        }
        if (sameName(*name, section))
            where.header = i;
    }
    if (where.header >= 0)
        where.end = int(FLines.size());
    return where;
}

int TProfileFile::findKeyLine(const TLocation &where, const QString &key) const
{
    if (where.header < 0)
        return -1;
    for (int i = where.header + 1; i < where.end; ++i) {
        const auto name = keyName(FLines.at(i));
        if (name && !name->isEmpty() && sameName(*name, key))
            return i;
    }
    return -1;
}

std::optional<QString> TProfileFile::rawValue(const QString &section, const QString &key) const
{
    const int line = findKeyLine(findSection(section), key.trimmed());
    if (line < 0)
        return std::nullopt;
    const QString &text = FLines.at(line);
    const qsizetype eq = text.indexOf(u'=');
    return eq < 0 ? QString() : text.mid(eq + 1).trimmed();
}

QStringList TProfileFile::ReadSections() const
{
    QStringList names;
    for (const QString &line : FLines) {
        const auto name = headerName(line);
        if (!name || name->isEmpty())
            continue;
        const bool seen = std::any_of(names.cbegin(), names.cend(),
                                      [&](const QString &n) { return sameName(n, *name); });
        if (!seen)
            names << *name;
    }
    return fitNameBuffer(names);
}

QStringList TProfileFile::ReadSection(const QString &section) const
{
    const TLocation where = findSection(section);
    QStringList keys;
    if (where.header < 0)
        return keys;
    for (int i = where.header + 1; i < where.end; ++i) {
        const auto name = keyName(FLines.at(i));
        if (name && !name->isEmpty())
            keys << *name;
    }
    return fitNameBuffer(keys);
}

QStringList TProfileFile::ReadSectionValues(const QString &section) const
{
    QStringList entries;
    for (const QString &key : ReadSection(section))
        entries << key + u'=' + ReadString(section, key, QString());
    return entries;
}

bool TProfileFile::SectionExists(const QString &section) const
{
    return findSection(section).header >= 0;
}

bool TProfileFile::ValueExists(const QString &section, const QString &key) const
{
    return rawValue(section, key).has_value();
}

QString TProfileFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    return cutValue(rawValue(section, key).value_or(def));
}

std::optional<int> TProfileFile::ParseInteger(const QString &text)
{
    QStringView s(text);
    bool negative = false;
    if (s.startsWith(u'-') || s.startsWith(u'+')) {
        negative = s.front() == u'-';
        s = s.mid(1);
    }
    int base = 10;
    if (s.startsWith(u'$')) {
        base = 16;
        s = s.mid(1);
    } else if (s.startsWith(u"0x") || s.startsWith(u"0X")) {
        base = 16;
        s = s.mid(2);
    }
    if (s.isEmpty())
        return std::nullopt;
    quint64 magnitude = 0;
    for (const QChar c : s) {
        const int digit = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
                          : base == 16 && c.toLower() >= u'a' && c.toLower() <= u'f'
                              ? c.toLower().unicode() - 'a' + 10
                              : -1;
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * quint64(base) + quint64(digit);
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        // Eight hex digits cover the whole 32-bit pattern: $FFFFFFFF is -1.
        const auto bits = qint32(quint32(magnitude));
        return negative ? -bits : bits;
    }
    const qint64 value = negative ? -qint64(magnitude) : qint64(magnitude);
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return int(value);
}

int TProfileFile::ReadInteger(const QString &section, const QString &key, int def) const
{
    const auto raw = rawValue(section, key);
    if (!raw)
        return def;
    return ParseInteger(cutValue(*raw)).value_or(def);
}

bool TProfileFile::ReadBool(const QString &section, const QString &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

template<typename Change> void TProfileFile::change(Change &&apply)
{
    if (FAutoSave)
        Reload();
    const QStringList before = FLines;
    apply();
    if (!FAutoSave)
        return;
    try {
        Save();
    } catch (...) {
        FLines = before;
        throw;
    }
}

void TProfileFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    // A line break inside a value would start a new key or section in the file.
    QString flat = value;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    flat.replace(u'\r', u' ');
    flat.replace(u'\n', u' ');
    const QString name = key.trimmed();
    change([&] {
        const TLocation where = findSection(section);
        if (where.header < 0) {
            FLines << u'[' + section + u']' << name + u'=' + flat;
            return;
        }
        const int line = findKeyLine(where, name);
        if (line >= 0) {
            const auto existing = keyName(FLines.at(line));
            FLines[line] = *existing + u'=' + flat;
            return;
        }
        int insertAt = where.header + 1;
        for (int i = where.header + 1; i < where.end; ++i)
            if (!FLines.at(i).trimmed().isEmpty())
                insertAt = i + 1;
        FLines.insert(insertAt, name + u'=' + flat);
    });
}

void TProfileFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TProfileFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TProfileFile::EraseSection(const QString &section)
{
    change([&] {
        for (TLocation where = findSection(section); where.header >= 0; where = findSection(section))
            FLines.erase(FLines.begin() + where.header, FLines.begin() + where.end);
    });
}

void TProfileFile::DeleteKey(const QString &section, const QString &key)
{
    change([&] {
        const int line = findKeyLine(findSection(section), key.trimmed());
        if (line >= 0)
            FLines.removeAt(line);
    });
}
