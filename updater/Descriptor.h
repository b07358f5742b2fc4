// Descriptor: reading the update descriptor and its folder and program actions.
//
// Section names are built from the installed copy's version tag and always keep
// "\" ("2.0\Files\FTP"): one descriptor serves every installed copy on every
// platform. Local paths the descriptor names (folder names, file targets, run
// programs) are written with "\" too and turn into native paths here through
// DescriptorLocalPath; server paths, URLs and program parameters stay as written.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

using TDescriptorLog = std::function<void(const QString &line)>;

// version + "\" + suffix.
QString DescriptorSection(const QString &version, const QString &suffix);

// A local path from the descriptor with every "\" turned into "/".
QString DescriptorLocalPath(const QString &text);

// The Info key names in file order into `lines`; the ShowDetails flag into
// `showDetails`; returns the update number (0 when missing). A descriptor that
// cannot be read reads as empty.
int ReadDescriptorInfo(const QString &path, const QString &version, QStringList &lines,
                       bool &showDetails);

// The entries ("key=value") of the FTP and of the HTTP file section.
void ReadFileLists(const QString &path, const QString &version, QStringList &ftpList,
                   QStringList &httpList);

// The entries of the Run section.
void ReadRunList(const QString &path, const QString &version, QStringList &runList);

// Makes a file list ready for the download operations: each target turns into
// a native path, and an entry whose target is empty is dropped (with details on
// it is logged as "Skipped: " + its server path or URL), so it neither counts
// in the progress nor names the install folder itself as a file.
QStringList TakeFileEntries(const QStringList &entries, bool showDetails, const TDescriptorLog &addLog);

// Creates the folders of the Directory section whose value is exactly "1",
// one level each, in file order. With details on, "Created: " + path or
// "Can not create: " + path is logged; with details off a folder that could not
// be made below installDir is tried once more by its bare name. Never fails.
void CreateDirectories(const QString &path, const QString &version, const QString &installDir,
                       bool showDetails, const TDescriptorLog &addLog);

// Opens every Run entry through the shell: "label=program|parameters", an entry
// holding "*" (expected last) being an absolute program opened as it stands,
// any other one opened as installDir + program, and only when that file exists.
// Nothing is reported.
void RunPrograms(const QStringList &runList, const QString &installDir);
