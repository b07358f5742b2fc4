// ProfileFile: INI ("profile") text files as both programs read and write them.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>

// Raised when a profile file cannot be written. Message() is the text shown to
// the user: "Unable to write to <path>".
class EProfileWriteError : public std::runtime_error
{
public:
    explicit EProfileWriteError(const QString &message);
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// One INI document bound to a path.
//
// Reading: the file is read when the object is made (and by Reload). A missing
// or unreadable file reads as empty; nothing is reported. CR, LF and CR LF all end
// a line; the text is UTF-8 (a leading byte order mark is skipped). A line whose
// first non-blank character is "[" names a section; inside a section, every other
// non-empty line not starting with ";" is a key: the text before its first "=",
// trimmed, or the whole trimmed line when it has no "=". Section and key names
// match without regard to case; the first occurrence of a section or key wins.
//
// Writing: with AutoSave on (the default) every Write*/EraseSection reads the file
// again, applies the change and saves the whole file at once, so each call stands
// on its own like a single system call. With AutoSave off, changes stay in memory
// until Save(). Saving goes through a temporary file renamed over the target, so a
// failed write leaves the old file whole. Lines are written with CR LF.
class TProfileFile
{
public:
    // Size of the buffer through which name lists are read: names (in UTF-8) plus
    // one terminating byte each must fit; names beyond it are not seen.
    static constexpr int NameListBufferSize = 16384;
    // Values are read through a 2048-character buffer: 2047 characters survive.
    static constexpr int MaxValueLength = 2047;

    explicit TProfileFile(const QString &fileName);

    const QString &FileName() const { return FFileName; }
    void Reload();

    bool AutoSave() const { return FAutoSave; }
    void SetAutoSave(bool on) { FAutoSave = on; }
    // Writes the document as it stands. Throws EProfileWriteError.
    void Save();
    // Forgets every line (the file itself is touched only by the next save).
    void Clear();

    // Section names in file order, each once.
    QStringList ReadSections() const;
    // Key names of a section in file order (a key written twice is listed twice);
    // empty when the section is missing.
    QStringList ReadSection(const QString &section) const;
    // "key=value" for every key of ReadSection, the value being that of the key's
    // first occurrence.
    QStringList ReadSectionValues(const QString &section) const;
    bool SectionExists(const QString &section) const;
    bool ValueExists(const QString &section, const QString &key) const;

    // The value trimmed and cut to MaxValueLength characters; `def` when the key
    // is missing (a key present with an empty value reads as empty).
    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    // Decimal, or hexadecimal after "0x", "0X" or "$"; `def` when missing or not a
    // 32-bit number.
    int ReadInteger(const QString &section, const QString &key, int def) const;
    // An integer, non-zero being true; text that is no number gives `def`.
    bool ReadBool(const QString &section, const QString &key, bool def) const;

    // These throw EProfileWriteError when the file cannot be saved; the document
    // then keeps what it held before the call.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    void WriteBool(const QString &section, const QString &key, bool value);
    // Removes every section of that name with all its lines.
    void EraseSection(const QString &section);
    void DeleteKey(const QString &section, const QString &key);

    // The integer rule of ReadInteger, for callers that parse values themselves.
    static std::optional<int> ParseInteger(const QString &text);

private:
    struct TLocation
    {
        int header = -1; // line index of the section header, -1 when missing
        int end = -1;    // index one past the section's last line
    };
    TLocation findSection(const QString &section) const;
    int findKeyLine(const TLocation &where, const QString &key) const;
    std::optional<QString> rawValue(const QString &section, const QString &key) const;
    template<typename Change> void change(Change &&apply);

    QString FFileName;
    QStringList FLines;
    bool FAutoSave = true;
};
