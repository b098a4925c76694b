#include "filelocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zp {

namespace {

constexpr char kProgramFolder[] = "zoripost";

QString homeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : home;
}

// An XDG base folder (on Windows a known folder of the profile): the variable when it holds
// an absolute path (relative ones are to be ignored), else the fallback below the home folder.
QString baseFolder(const char* variable, const char* fallback) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(homeFolder() + QLatin1Char('/') + QLatin1String(fallback));
}

#ifdef Q_OS_WIN

// Windows answers "may I write here" only by trying: the attributes say nothing of the
// folder's access list (Program Files is read-only to a user by its list alone).
bool folderWritable(const QString& folder) {
    const QString probe = QDir::toNativeSeparators(folder) +
                          QStringLiteral("\\zoripost-write-test-%1.tmp").arg(GetCurrentProcessId());
    HANDLE file =
        CreateFileW(reinterpret_cast<const wchar_t*>(probe.utf16()), GENERIC_WRITE, 0, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

#else

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

#endif

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

#ifdef Q_OS_WIN

// The installer leaves its uninstaller beside the program; a portable copy has none.
bool isInstalledCopy(const QString& executable) {
    return QFileInfo::exists(
        QFileInfo(executable).absoluteDir().absoluteFilePath(QStringLiteral("uninstall.exe")));
}

QString userConfigFolder() {
    return baseFolder("APPDATA", "AppData/Roaming") + QLatin1Char('/') +
           QLatin1String(kProgramFolder);
}

QString userRuntimeFolder() {
    const QString folder = baseFolder("LOCALAPPDATA", "AppData/Local") + QLatin1Char('/') +
                           QLatin1String(kProgramFolder);
    return makePrivateFolder(folder) ? folder : QString();
}

// The folders of a user's profile are the user's own by their access lists, which a new
// folder inherits.
bool makePrivateFolder(const QString& path) {
    return QDir().mkpath(path);
}

#else

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

#endif

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
