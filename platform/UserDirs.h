// UserDirs: the user's standard folders as the XDG user-dirs file lists them.
#pragma once

#include <QList>
#include <QString>

// One XDG_*_DIR line of the user-dirs file.
struct TUserDir
{
    QString Name;          // the variable name, e.g. "XDG_DESKTOP_DIR"
    QString Path;          // the folder, "$HOME" expanded; empty when !IsString
    bool IsString = false; // the value was a double-quoted string
};

// Where the user-dirs file lives: "user-dirs.dirs" in the user's configuration
// folder (XDG_CONFIG_HOME, or ~/.config). Follows QStandardPaths, so test mode
// moves it out of the real home.
QString UserDirsFilePath();

// Parses the text of a user-dirs file. Only "XDG_<something>_DIR=" lines count;
// comments, blank lines and other assignments are skipped. The result keeps the
// order of the file, including repeated names. A value is a string when it is
// enclosed in double quotes (backslash escapes the next character); a leading
// "$HOME" followed by "/" or the closing quote is replaced by `home`. Anything
// else (bare words, an unterminated quote, text after the closing quote) gives
// IsString = false. Never fails.
QList<TUserDir> ParseUserDirs(const QString &text, const QString &home);

// Reads and parses the file at `filePath` with the user's home folder.
// Returns false (and leaves `dirs` empty) when the file does not exist or
// cannot be read.
bool ReadUserDirs(const QString &filePath, QList<TUserDir> *dirs);
