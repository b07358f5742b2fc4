// ShellFolders: the user's standard folders, and how each becomes a replicate
// entry below the default destination root.
#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <stdexcept>

// One standard folder as the platform lists it.
struct TShellFolder
{
    QString Name;          // the name it is listed under ("XDG_DESKTOP_DIR", "Desktop")
    QString Path;          // the folder as written; empty when !IsString
    bool IsString = true;  // false for a value that is not a text
};

// Raised by ImportShellFolderList for a value that is not a text. Message() is
// the text shown to the user; what() carries it in UTF-8.
class EShellFolderError : public std::runtime_error
{
public:
    explicit EShellFolderError(const QString &message);
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// The user's standard folders in the platform's order: the XDG_*_DIR lines of
// the user-dirs file in file order; when that file does not exist, Qt's
// desktop, documents, downloads, music, pictures and videos locations. Never
// fails (a location Qt cannot name is left out).
QList<TShellFolder> ReadShellFolders();

// The destination of a standard folder: `root` and PathTail of `folder`, with
// exactly one separator between them when the root is not empty; the tail
// alone (a relative path) when it is.
QString ShellFolderDest(const QString &root, const QString &folder);

// Calls `add(src, dest)` for each folder in order, skipping nameless and empty
// ones. Throws EShellFolderError ("Invalid data type for '<name>'") at the first
// value that is not a text; the folders added before it stay added.
void ImportShellFolderList(const QList<TShellFolder> &folders, const QString &root,
                           const std::function<void(const QString &src, const QString &dest)> &add);
