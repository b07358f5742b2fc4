// ShellOpen: open a file, program, folder or address the way the desktop does.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <functional>

// Opens `target` with its default action and never waits for it; the result is
// ignored, as callers expect of a shell open. A program (an executable file
// that is an ELF image or a "#!" script) is started detached with `parameters`
// split as a shell would split them; anything else (document, folder, address,
// also a document that merely carries an execute bit, as on file systems that
// mark every file so) goes to the desktop's default handler (xdg-open), without
// the parameters. An empty target does nothing. Safe to call from any thread.
void OpenWithShell(const QString &target, const QString &parameters = QString());

// True when `head`, the first bytes of a file, begin a program the system
// starts by itself: an ELF image ("\x7f" "ELF") or a script naming its
// interpreter on a "#!" line. Four bytes are enough to tell.
bool IsProgramHead(QByteArrayView head);

// Seam for tests: replaces what OpenWithShell does. Returns the handler that was
// in place (empty for the real one); pass an empty handler to restore the real one.
using ShellOpenHandler = std::function<void(const QString &target, const QString &parameters)>;
ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler);
