// Association of *.ply files with the program, in the user's own XDG
// folders: a MIME type package, a desktop entry and the default application
// in mimeapps.list.
#pragma once

#include <QString>
#include <QStringList>

namespace quarnel {

// The program's type for *.ply files and the names of its files.
inline constexpr char kPlyMimeType[] = "model/x-ply3dmesh";
inline constexpr char kPlyTypeName[] = "PLY 3d Mesh";
inline constexpr char kMimePackageFile[] = "quarnel-ply.xml";
inline constexpr char kDesktopFile[] = "quarnel.desktop";
// The switch (after "-") by which the desktop entry marks its starts: their
// file goes to the instance already running (platform/shell_open.h).
inline constexpr char kShellOpenSwitch[] = "shellopen";

// The user's data and configuration folders: $XDG_DATA_HOME and
// $XDG_CONFIG_HOME, or their defaults under the home folder when unset or
// not absolute.
struct XdgFolders {
  QString dataHome;
  QString configHome;

  QString MimePackage() const;     // <data>/mime/packages/quarnel-ply.xml
  QString DesktopEntry() const;    // <data>/applications/quarnel.desktop
  QString MimeApps() const;        // <config>/mimeapps.list
  QString LegacyMimeApps() const;  // <data>/applications/mimeapps.list
  QString IconFile() const;        // <data>/icons/hicolor/128x128/apps/quarnel.png
};
XdgFolders UserXdgFolders();

// The MIME types under which *.ply files may be associated in the user's
// lists: the program's own and the names other programs use.
QStringList PlyMimeTypes();

// Removes every earlier association of *.ply in user scope: the program's
// MIME package and desktop entry, and the entries of the PLY types in both
// mimeapps.list files. What cannot be removed is left as it is.
void RemovePlyAssociations(const XdgFolders& folders);

// Writes the MIME package, the program's icon, the desktop entry that opens
// files with program, and makes it the default application of the type.
// Each file is written whole or not at all; false when one of them could
// not be written.
bool RegisterPlyFileType(const XdgFolders& folders, const QString& program);

// Has the desktop rebuild its caches of MIME types and desktop entries, with
// the tools it offers; a tool that is missing or fails is passed over.
void NotifyAssociationsChanged(const XdgFolders& folders);

// Pieces, for their tests ---------------------------------------------------
// mimeapps.list text without the entries of the given MIME types; other
// lines stay as they were.
QString MimeAppsWithout(const QString& text, const QStringList& mimeTypes);
// mimeapps.list text with key=value set in the section, created at the end
// when missing.
QString MimeAppsWith(const QString& text, const QString& section, const QString& key,
                     const QString& value);
// The program path as the first word of a desktop entry's Exec key.
QString DesktopExecArgument(const QString& program);
// The entry names its icon by path when one is given.
QString DesktopEntryText(const QString& program, const QString& icon = QString());
QString MimePackageText();

}  // namespace quarnel
