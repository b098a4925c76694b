// The one-running-copy rule on Windows: a named mutex, and a message-only window of the class
// "TfrmMain" that a later start finds and asks to raise the main window. A message-only window
// is never shown and is made even where no desktop is drawn (a service, a test under Wine
// without a display).
#include "singleinstance.h"

#ifdef Q_OS_WIN

#include <QFileInfo>
#include <QMetaObject>

#include <windows.h>

namespace zp {

namespace {

constexpr wchar_t kWindowClass[] = L"TfrmMain";

// The message a later start sends to the running copy's hidden window.
UINT raiseMessage() {
    static const UINT message = RegisterWindowMessageW(L"zoripost.raise");
    return message;
}

LRESULT CALLBACK finderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<SingleInstance*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == raiseMessage()) {
        // Raised once this message has been answered, so that the later start never waits
        // on the window being shown.
        QMetaObject::invokeMethod(self, "raiseRequested", Qt::QueuedConnection);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createFinderWindow(SingleInstance* owner) {
    static const bool registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = finderProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered)
        return nullptr;
    HWND window = CreateWindowExW(0, kWindowClass, L"zoripost", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return window;
}

// Asks the running copy to bring its main window to the front (restored when minimised).
// False when its window cannot be found.
bool raiseRunningCopy(int timeoutMs) {
    HWND window = FindWindowExW(HWND_MESSAGE, nullptr, kWindowClass, nullptr);
    if (!window)
        return false;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // The starting copy holds the right to the foreground; the running one is given it.
    AllowSetForegroundWindow(process);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, raiseMessage(), 0, 0, SMTO_ABORTIFHUNG, UINT(timeoutMs), &result);
    return true;
}

} // namespace

SingleInstance::~SingleInstance() {
    if (m_window)
        DestroyWindow(static_cast<HWND>(m_window));
    if (m_mutex)
        CloseHandle(static_cast<HANDLE>(m_mutex));
}

QString SingleInstance::serverNameFor(const QString& executablePath) {
    // The mutex is named after the executable's file name with its extension, in the
    // session's namespace.
    return QFileInfo(executablePath).fileName();
}

bool SingleInstance::claim(int timeoutMs) {
    const std::wstring name = m_name.toStdWString();
    if (HANDLE other = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name.c_str())) {
        raiseRunningCopy(timeoutMs);
        CloseHandle(other);
        return false;
    }
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        // A copy that started at the same moment won the race: defer to it.
        CloseHandle(mutex);
        raiseRunningCopy(timeoutMs);
        return false;
    }
    if (!mutex)
        qWarning("single instance: cannot create the mutex %s (error %lu)", qPrintable(m_name),
                 GetLastError());
    m_mutex = mutex;
    m_window = createFinderWindow(this);
    return true;
}

} // namespace zp

#endif
