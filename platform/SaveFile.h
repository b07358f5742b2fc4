// SaveFile: writing a whole file the safe way, for every file the programs
// write for themselves.
#pragma once

#include <QByteArray>
#include <QString>

// Writes `data` to a temporary file beside `path` and renames it over `path`
// only when every byte was written, so the old file stays whole on any failure.
// Returns false on failure; `error` (when given) receives the reason.
bool SaveWholeFile(const QString &path, const QByteArray &data, QString *error = nullptr);
