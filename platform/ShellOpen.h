// ShellOpen: open a file, program, folder or address the way the desktop does.
#pragma once

#include <QString>
#include <functional>

// Opens `target` with its default action and never waits for it; the result is
// ignored, as callers expect of a shell open. An executable file is started
// detached with `parameters` split as a shell would split them; anything else
// (document, folder, address) goes to the desktop's default handler (xdg-open).
// An empty target does nothing. Safe to call from any thread.
void OpenWithShell(const QString &target, const QString &parameters = QString());

// Seam for tests: replaces what OpenWithShell does. Returns the handler that was
// in place (empty for the real one); pass an empty handler to restore the real one.
using ShellOpenHandler = std::function<void(const QString &target, const QString &parameters)>;
ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler);
