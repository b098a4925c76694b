#include "fileversion.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <windows.h>

#include <vector>
#endif

namespace zp {

#ifdef Q_OS_WIN

QString executableFileVersion(const QString&) {
    const std::wstring exe = QCoreApplication::applicationFilePath().toStdWString();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<unsigned char> info(size);
    if (!GetFileVersionInfoW(exe.c_str(), 0, size, info.data()))
        return {};
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4)
        return {};
    const auto* translation = static_cast<const WORD*>(value);
    const auto hex = [](WORD word) {
        return QString::number(word, 16).rightJustified(4, QLatin1Char('0')).toUpper();
    };
    const QString query = QStringLiteral("\\StringFileInfo\\") + hex(translation[0]) +
                          hex(translation[1]) + QStringLiteral("\\FileVersion");
    if (!VerQueryValueW(info.data(), reinterpret_cast<const wchar_t*>(query.utf16()), &value,
                        &length) ||
        length == 0)
        return {};
    // The length counts the terminating zero.
    return QString::fromWCharArray(static_cast<const wchar_t*>(value)).left(int(length)).trimmed();
}

#else

QString executableFileVersion(const QString& buildVersion) {
    return buildVersion;
}

#endif

} // namespace zp
