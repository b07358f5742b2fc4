// ut_Autostart: starting the program when the user logs in, through an entry
// in the user's autostart folder ($XDG_CONFIG_HOME/autostart/com.zarnoth.Vantor.desktop).
#pragma once

#include <QString>

// Where the entry lives for the current user.
QString AutostartFileName();

// True when the entry exists and is not switched off ("Hidden=true").
bool AutostartEnabled();

// The command the entry starts: "vantor" when an installed copy provides that
// command in the PATH, otherwise the running program by its absolute path,
// quoted as desktop entries require when it holds spaces or special signs.
QString AutostartCommand();

// One argument of a desktop entry's Exec line, quoted and escaped as the
// desktop entry rules require.
QString DesktopExecArgument(const QString &argument);

// Writes (atomically) or removes the entry. Returns false when that fails;
// the entry is then as it was. Removing an entry that is not there succeeds.
bool SetAutostart(bool enabled);
