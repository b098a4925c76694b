#pragma once
// Where the program keeps its settings file and its working JPEG. A copy in a folder it
// may write to (a build folder, a portable copy) keeps both beside itself, named after
// the executable. An installed copy (its desktop entry sits in the prefix it was installed
// into), or one whose folder is read-only, keeps the settings in the user's configuration
// folder and the working JPEG in a private per-user runtime or cache folder; the names
// stay those of the executable, so the receiver still sees "zoripost.jpg".
// On Windows an installed copy is one with the installer's uninstall.exe beside it; its
// settings go to %APPDATA%\zoripost and its working JPEG to %LOCALAPPDATA%\zoripost.
#include <QString>

namespace zp {

struct FileLocations {
    QString settingsFile;
    QString workingJpeg;
    bool besideExecutable = true;
};

// Everything the choice depends on, gathered from the process and the file system.
struct LocationInputs {
    QString executable; // absolute path the program was started by
    bool folderWritable = true;
    bool installed = false;
    QString configFolder; // the program's folder in the user's configuration folder
    QString userFolder;   // the program's private runtime or cache folder
};

FileLocations chooseLocations(const LocationInputs& in);

// The locations for this process; creates the per-user folders (mode 0700) when the files
// do not live beside the executable.
FileLocations locateFiles(const QString& executable);

// True when the copy at executable was installed: <prefix>/bin/<name> with the desktop
// entry <prefix>/share/applications/zoripost.desktop.
bool isInstalledCopy(const QString& executable);

// $XDG_CONFIG_HOME/zoripost ($HOME/.config/zoripost when unset or not absolute).
QString userConfigFolder();

// $XDG_RUNTIME_DIR/zoripost, or $XDG_CACHE_HOME/zoripost ($HOME/.cache/zoripost) when the
// runtime folder is missing or not the user's; created with mode 0700. Empty when neither
// can be made private to the user.
QString userRuntimeFolder();

// Creates path (and missing parents) with mode 0700, or accepts an existing folder owned by
// this user, taking group and other permissions away. A symbolic link is refused.
bool makePrivateFolder(const QString& path);

} // namespace zp
