#include "filelocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace zp {

namespace {

constexpr char kProgramFolder[] = "zoripost";

QString homeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : home;
}

// An XDG base folder: the variable when it holds an absolute path (relative ones are to be
// ignored), else the fallback below the home folder.
QString baseFolder(const char* variable, const char* fallback) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(homeFolder() + QLatin1Char('/') + QLatin1String(fallback));
}

bool folderWritable(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

// A folder the system made for this user's session: present, a folder, owned by the user.
bool ownFolder(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

} // namespace

FileLocations chooseLocations(const LocationInputs& in) {
    const QFileInfo exe(in.executable);
    const QString base = exe.completeBaseName();
    FileLocations out;
    out.besideExecutable = in.folderWritable && !in.installed;
    if (out.besideExecutable) {
        const QString stem = exe.absolutePath() + QLatin1Char('/') + base;
        out.settingsFile = stem + QLatin1String(".ini");
        out.workingJpeg = stem + QLatin1String(".jpg");
    } else {
        out.settingsFile = in.configFolder + QLatin1Char('/') + base + QLatin1String(".ini");
        out.workingJpeg = in.userFolder + QLatin1Char('/') + base + QLatin1String(".jpg");
    }
    return out;
}

bool isInstalledCopy(const QString& executable) {
    const QDir bin = QFileInfo(executable).absoluteDir();
    if (bin.dirName() != QLatin1String("bin"))
        return false;
    return QFileInfo::exists(bin.absoluteFilePath(
        QStringLiteral("../share/applications/%1.desktop").arg(QLatin1String(kProgramFolder))));
}

QString userConfigFolder() {
    return baseFolder("XDG_CONFIG_HOME", ".config") + QLatin1Char('/') +
           QLatin1String(kProgramFolder);
}

QString userRuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && ownFolder(runtime)) {
        const QString folder =
            QDir::cleanPath(runtime) + QLatin1Char('/') + QLatin1String(kProgramFolder);
        if (makePrivateFolder(folder))
            return folder;
    }
    const QString cache =
        baseFolder("XDG_CACHE_HOME", ".cache") + QLatin1Char('/') + QLatin1String(kProgramFolder);
    return makePrivateFolder(cache) ? cache : QString();
}

bool makePrivateFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    // Missing parents are made private too, as a base folder of the user's should be.
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !QFileInfo::exists(parent) && !makePrivateFolder(parent))
        return false;
    const QByteArray name = QFile::encodeName(clean);
    if (::mkdir(name.constData(), 0700) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(name.constData(), 0700) != 0)
        return false;
    return true;
}

FileLocations locateFiles(const QString& executable) {
    LocationInputs in;
    in.executable = QFileInfo(executable).absoluteFilePath();
    in.folderWritable = folderWritable(QFileInfo(in.executable).absolutePath());
    in.installed = isInstalledCopy(in.executable);
    if (in.folderWritable && !in.installed)
        return chooseLocations(in);
    in.configFolder = userConfigFolder();
    // A folder that cannot be made leaves the path as it is: saving then reports the failure.
    makePrivateFolder(in.configFolder);
    in.userFolder = userRuntimeFolder();
    if (in.userFolder.isEmpty())
        in.userFolder = in.configFolder;
    return chooseLocations(in);
}

} // namespace zp
