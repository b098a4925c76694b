// The one-running-copy rule on Windows: a named mutex and a hidden window of the class
// "TfrmMain" that a later start finds, brings forward and asks to raise the main window.
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
    const bool restore = message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE;
    if (self && (message == raiseMessage() || restore)) {
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
    // A top-level window (FindWindow does not see message-only ones), never shown.
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"zoripost", WS_POPUP, 0, 0, 0,
                                  0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window)
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return window;
}

// Brings the running copy forward: its window comes to the foreground, is restored when
// minimised, and is asked to raise the main window. False when no such window answers.
bool raiseRunningCopy(int timeoutMs) {
    HWND window = FindWindowW(kWindowClass, nullptr);
    if (!window)
        return false;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    // The starting copy holds the right to the foreground; the running one gets it.
    AllowSetForegroundWindow(process);
    SetForegroundWindow(window);
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner)
        owner = window;
    DWORD_PTR result = 0;
    if (IsIconic(owner))
        SendMessageTimeoutW(owner, WM_SYSCOMMAND, SC_RESTORE, 0, SMTO_ABORTIFHUNG, UINT(timeoutMs),
                            &result);
    else
        SendMessageTimeoutW(window, raiseMessage(), 0, 0, SMTO_ABORTIFHUNG, UINT(timeoutMs),
                            &result);
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
