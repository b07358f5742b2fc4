// ProfileFile: parsing and atomic rewriting of INI text files.
#include "ProfileFile.h"
#include "SaveFile.h"

#include <QFile>

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

QString folded(const QString &name)
{
    return name.toCaseFolded();
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

TProfileFile::TProfileFile(const QString &fileName, TStart start)
    : FFileName(fileName)
{
    if (start == psRead)
        Reload();
}

void TProfileFile::TSection::IndexKeys()
{
    keys.clear();
    if (lines.size() <= IndexFrom)
        return;
    for (int i = 0; i < lines.size(); ++i) {
        const auto name = keyName(lines.at(i));
        if (!name || name->isEmpty())
            continue;
        const QString k = folded(*name);
        if (!keys.contains(k))
            keys.insert(k, i);
    }
}

int TProfileFile::TSection::FindKey(const QString &key) const
{
    if (lines.size() > IndexFrom)
        return keys.value(folded(key.trimmed()), -1);
    const QStringView wanted = QStringView(key).trimmed();
    if (wanted.isEmpty())
        return -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringView line = QStringView(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QStringView name = eq < 0 ? line : line.left(eq).trimmed();
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void TProfileFile::TSection::KeyAppended()
{
    const int at = int(lines.size()) - 1;
    if (at + 1 <= IndexFrom)
        return;
    if (at == IndexFrom) {   // just grew past the short ones
        IndexKeys();
        return;
    }
    const auto name = keyName(lines.at(at));
    if (name && !name->isEmpty()) {
        const QString k = folded(*name);
        if (!keys.contains(k))
            keys.insert(k, at);
    }
}

void TProfileFile::TDocument::IndexSections()
{
    index.clear();
    for (int i = 0; i < int(sections.size()); ++i) {
        const QString k = folded(sections[size_t(i)].name);
        if (!index.contains(k))
            index.insert(k, i);
    }
}

void TProfileFile::Reload()
{
    FDoc = TDocument();
    QFile f(FFileName);
    if (!f.open(QIODevice::ReadOnly))
        return;
    QByteArray data = f.readAll();
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    const QString text = QString::fromUtf8(data);
    data.clear();

    QStringList *target = &FDoc.preamble;
    const auto takeLine = [&](qsizetype from, qsizetype to) {
        const QString line = text.mid(from, to - from);
        if (const auto name = headerName(line)) {
            TSection section;
            section.header = line;
            section.name = *name;
            FDoc.sections.push_back(std::move(section));
            target = &FDoc.sections.back().lines;
            return;
        }
        target->append(line);
    };
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        takeLine(start, i);
        if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    // The break after the last line opens no new line.
    if (start < size)
        takeLine(start, size);
    for (TSection &section : FDoc.sections)
        section.IndexKeys();
    FDoc.IndexSections();
}

void TProfileFile::Save()
{
    QByteArray data;
    const auto add = [&data](const QString &line) {
        data += line.toUtf8();
        data += "\r\n";
    };
    for (const QString &line : std::as_const(FDoc.preamble))
        add(line);
    for (const TSection &section : FDoc.sections) {
        add(section.header);
        for (const QString &line : section.lines)
            add(line);
    }
    if (!SaveWholeFile(FFileName, data))
        throw EProfileWriteError(QStringLiteral("Unable to write to %1").arg(FFileName));
}

void TProfileFile::Clear()
{
    FDoc = TDocument();
}

const TProfileFile::TSection *TProfileFile::findSection(const QString &section) const
{
    const auto it = FDoc.index.constFind(folded(section));
    return it == FDoc.index.cend() ? nullptr : &FDoc.sections[size_t(*it)];
}

TProfileFile::TSection *TProfileFile::findSection(const QString &section)
{
    const auto it = FDoc.index.constFind(folded(section));
    return it == FDoc.index.cend() ? nullptr : &FDoc.sections[size_t(*it)];
}

namespace {

// The value of a key line: the text after its first "=", trimmed.
QString valueOf(const QString &line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QString() : line.mid(eq + 1).trimmed();
}

} // namespace

std::optional<QString> TProfileFile::rawValue(const QString &section, const QString &key) const
{
    const TSection *where = findSection(section);
    if (!where)
        return std::nullopt;
    const int line = where->FindKey(key);
    if (line < 0)
        return std::nullopt;
    return valueOf(where->lines.at(line));
}

QStringList TProfileFile::ReadSections() const
{
    QStringList names;
    for (int i = 0; i < int(FDoc.sections.size()); ++i) {
        const QString &name = FDoc.sections[size_t(i)].name;
        // Each name once, where it first appears.
        if (!name.isEmpty() && FDoc.index.value(folded(name), -1) == i)
            names << name;
    }
    return names;
}

QStringList TProfileFile::ReadSection(const QString &section) const
{
    QStringList keys;
    const TSection *where = findSection(section);
    if (!where)
        return keys;
    for (const QString &line : where->lines) {
        const auto name = keyName(line);
        if (name && !name->isEmpty())
            keys << *name;
    }
    return keys;
}

QStringList TProfileFile::ReadSectionValues(const QString &section) const
{
    QStringList entries;
    const TSection *where = findSection(section);
    if (!where)
        return entries;
    for (const QString &line : where->lines) {
        const auto name = keyName(line);
        if (!name || name->isEmpty())
            continue;
        // A key written twice is listed twice, both times with its first value.
        const int first = where->FindKey(*name);
        entries << *name + u'=' + cutValue(valueOf(where->lines.at(first)));
    }
    return entries;
}

bool TProfileFile::SectionExists(const QString &section) const
{
    return findSection(section) != nullptr;
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
        // Eight hex digits cover the whole 32-bit pattern: $FFFFFFFF is -1. The
        // sign negates the pattern in unsigned arithmetic: negating the int
        // -2147483648 ("-$80000000") would overflow.
        const auto bits = quint32(magnitude);
        return qint32(negative ? 0u - bits : bits);
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
    if (!FAutoSave) {
        apply();
        return;
    }
    Reload();
    const TDocument before = FDoc;
    apply();
    try {
        Save();
    } catch (...) {
        FDoc = before;
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
        TSection *where = findSection(section);
        if (!where) {
            TSection added;
            added.header = u'[' + section + u']';
            added.name = headerName(added.header).value_or(QString());
            added.lines << name + u'=' + flat;
            added.IndexKeys();
            FDoc.sections.push_back(std::move(added));
            const QString k = folded(FDoc.sections.back().name);
            if (!FDoc.index.contains(k))
                FDoc.index.insert(k, int(FDoc.sections.size()) - 1);
            return;
        }
        const int found = where->FindKey(name);
        if (found >= 0) {
            QString &line = where->lines[found];
            line = *keyName(line) + u'=' + flat;
            return;
        }
        // After the section's last non-blank line, so blank lines that part
        // sections stay between them.
        qsizetype insertAt = where->lines.size();
        while (insertAt > 0 && where->lines.at(insertAt - 1).trimmed().isEmpty())
            --insertAt;
        const bool appended = insertAt == where->lines.size();
        where->lines.insert(insertAt, name + u'=' + flat);
        if (appended)
            where->KeyAppended();
        else
            where->IndexKeys();
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
        const QString k = folded(section);
        std::erase_if(FDoc.sections, [&k](const TSection &s) { return folded(s.name) == k; });
        FDoc.IndexSections();
    });
}

void TProfileFile::DeleteKey(const QString &section, const QString &key)
{
    change([&] {
        TSection *where = findSection(section);
        if (!where)
            return;
        const int found = where->FindKey(key);
        if (found < 0)
            return;
        where->lines.removeAt(found);
        where->IndexKeys();
    });
}
