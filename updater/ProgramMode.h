// ProgramMode: the permission bits of a file the update writes.
#pragma once

#include <QByteArrayView>

class QSaveFile;

// For an open QSaveFile before its commit. A target that did not exist before
// (`existed` false) and whose content (`head`, its first bytes) begins a
// program gets an execute bit beside each read bit it has, so that the program
// can be started; everything else keeps its mode (a replaced file the mode of
// the file it replaces, which QSaveFile carries over; a new document the
// default). Returns false when the bits cannot be set.
bool GrantProgramMode(QSaveFile &file, bool existed, QByteArrayView head);
