// ProfileFile: INI ("profile") text files as both programs read and write them.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>
#include <vector>

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
// Sections and keys are kept in hashes beside the lines, so reading a value and
// writing one cost the same however large the file is: building or reading a
// file of n entries is linear in n. Name lists have no size limit: every section
// and every key is listed, however many there are.
//
// Writing: with AutoSave on (the default) every Write*/EraseSection reads the file
// again, applies the change and saves the whole file at once, so each call stands
// on its own like a single system call. With AutoSave off, changes stay in memory
// until Save(). Saving goes through a temporary file renamed over the target, so a
// failed write leaves the old file whole. Lines are written with CR LF.
class TProfileFile
{
public:
    // Values are read through a 2048-character buffer: 2047 characters survive.
    static constexpr int MaxValueLength = 2047;

    // How a document starts: with the file's content, or empty (for a file
    // that is to be written anew, whose old content would only be thrown away).
    enum TStart { psRead, psEmpty };

    explicit TProfileFile(const QString &fileName, TStart start = psRead);

    const QString &FileName() const { return FFileName; }
    void Reload();

    bool AutoSave() const { return FAutoSave; }
    void SetAutoSave(bool on) { FAutoSave = on; }
    // Writes the document as it stands. Throws EProfileWriteError.
    void Save();
    // Forgets every line (the file itself is touched only by the next save).
    void Clear();

    // Section names in file order, each once (every one of them).
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
    // A sign may stand before the number, also before a hexadecimal one; eight
    // hexadecimal digits give the whole 32-bit pattern ("$FFFFFFFF" is -1), and a
    // sign before them negates that pattern modulo 2^32 ("-$80000000" is
    // -2147483648, "-$FFFFFFFF" is 1).
    static std::optional<int> ParseInteger(const QString &text);

private:
    // One section: its header line as read, the lines below it up to the next
    // header, and, once it holds more than a few lines, the first line of each
    // key name (case-folded) among them. A short section is searched line by
    // line, which is cheaper than keeping a hash for each of thousands of them.
    struct TSection
    {
        static constexpr int IndexFrom = 24;
        QString header;
        QString name;
        QStringList lines;
        QHash<QString, int> keys;
        void IndexKeys();
        // Line of the first occurrence of `key` (trimmed), -1 when missing.
        int FindKey(const QString &key) const;
        // A key line was added at the end.
        void KeyAppended();
    };
    // Lines before the first section, then the sections in file order; `index`
    // holds the first section of each name (case-folded).
    struct TDocument
    {
        QStringList preamble;
        std::vector<TSection> sections;
        QHash<QString, int> index;
        void IndexSections();
    };
    const TSection *findSection(const QString &section) const;
    TSection *findSection(const QString &section);
    std::optional<QString> rawValue(const QString &section, const QString &key) const;
    template<typename Change> void change(Change &&apply);

    QString FFileName;
    TDocument FDoc;
    bool FAutoSave = true;
};
