// LanguageFile: reading and writing language files (*.bab): the two header
// lines, "key=text" entries, and the icon that may lie beside a language file.
#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>

// A failure of the language files or the translation engine. what() is the
// message shown to the user, in UTF-8.
class ELanguageError : public std::runtime_error
{
public:
    explicit ELanguageError(const QString &message);
    QString Message() const { return QString::fromUtf8(what()); }
};

namespace LanguageFile {

// The first two lines of a language file begin with these, exactly (letter
// case counts, from the first character on).
inline const QString kMenuNamePrefix = QStringLiteral("menuname:");
inline const QString kHelpFilePrefix = QStringLiteral("helpfile:");

// Splits UTF-8 text into lines: CR, LF and CR LF end a line, a NUL ends the
// whole text, an unterminated last line counts, empty lines count. Nothing is
// trimmed.
QStringList SplitLines(const QByteArray &data);

// All lines of the file. Throws ELanguageError "Cannot open file "<path>".
// <reason>" when it cannot be read.
QStringList ReadLines(const QString &path);

// The first line of the file (empty for an empty file). Throws ELanguageError
// like ReadLines; a folder cannot be read as text and fails too.
QString ReadFirstLine(const QString &path);

// Writes every line followed by CR LF, replacing the file as a whole (the old
// file stays intact until the new one is complete). A line break inside a line
// becomes a line end of its own. Throws ELanguageError "Cannot create file
// "<path>". <reason>" when the file cannot be written.
void WriteLines(const QString &path, const QStringList &lines);

// The display name of a first line that begins with "menuname:", else a null
// string (so an empty display name stays distinguishable from "no header").
QString MenuName(const QString &firstLine);

// The help file named by a second line that begins with "helpfile:", else empty.
QString HelpFile(const QString &secondLine);

// The text of `key` among `lines`: the part after the first "=" of the first
// line whose part before it equals `key` regardless of case. `fallback` when no
// line matches or its text is empty.
QString Lookup(const QStringList &lines, const QString &key, const QString &fallback);

// The language's icon: the file's path with its last four characters replaced
// by ".ico" (English.bab -> English.ico).
QString IconPath(const QString &languageFile);

} // namespace LanguageFile
