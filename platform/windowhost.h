#pragma once
// What the main window offers to the handler classes of the ui/ folders. Each handler
// class is constructed with the window, finds its controls by their object names
// (findControl) and connects its own slots; it talks back to the window only through
// this interface.
#include "dialogs.h"

#include <QString>
#include <QWidget>

namespace zp {

class WindowHost {
public:
    virtual ~WindowHost() = default;

    // The window whose children are the controls named after their components.
    virtual QWidget* window() = 0;

    // The one reporting routine: kinds 0 to 3 show a modal box first; then the text
    // replaces the status-bar text and is appended as a line to the debug memo.
    virtual void reportStatus(const QString& text, MsgKind kind) = 0;

    // Runs the handler slot of that name ("chkLimitSizeClick", "btnConfigClick", ...)
    // on whichever handler object of the window has it.
    virtual void runHandler(const char* name) = 0;

    // Window state that is not held by a control.
    virtual bool debugFlag() const = 0;
    virtual void setDebugFlag(bool on) = 0;
    virtual bool noHeaderEncode() const = 0;
    virtual void setNoHeaderEncode(bool on) = 0;
    virtual int wholePreviewSize() const = 0; // 1..3
    virtual void setWholePreviewSize(int size) = 0;

    // Files beside the executable: its path with ".ini" and with ".jpg".
    virtual QString settingsFilePath() const = 0;
    virtual QString workingJpegPath() const = 0;

    // The text of the status bar `statusBar` (written only through reportStatus).
    // The default reads the window's QStatusBar of that name.
    virtual QString statusText();
    // Enables or disables the panels pnlMain and pnlConfig together (around a send).
    virtual void setControlsEnabled(bool enabled);
    // Stores the file-name part of a path or name (behind the last folder separator)
    // in the hidden label lblFileNameF, the sourceName of the generated files.
    virtual void setSourceFileName(const QString& pathOrName);
    // Full path of the picture or file last taken in (empty when none).
    virtual QString sourceFilePath() const { return QString(); }
    virtual void setSourceFilePath(const QString& path) { Q_UNUSED(path); }
    // True from the start of a send (btnSendClick) until it has ended; while it is true the
    // intake refuses drops, pastes and the automatic send, and closing the window first
    // ends the send as a failure.
    virtual bool sendInProgress() const { return m_sendInProgress; }
    virtual void setSendInProgress(bool on) { m_sendInProgress = on; }

    // The server ports: [smtp] port and [pop3] port of the settings file, 25 and 110 when
    // the file has none (then they are not written back either).
    // Beside them [smtp] security and [pop3] security (0 none, 1 STARTTLS/STLS, 2 TLS from
    // the start; 0 when missing) and [smtp] cafile, certificates trusted besides the
    // system's for both servers.
    struct MailPorts {
        int smtp = 25;
        int pop3 = 110;
        bool smtpInFile = false;
        bool pop3InFile = false;
        int smtpSecurity = 0;
        int pop3Security = 0;
        bool smtpSecurityInFile = false;
        bool pop3SecurityInFile = false;
        QString caFile;
    };
    virtual MailPorts mailPorts() const { return m_mailPorts; }
    virtual void setMailPorts(const MailPorts& ports) { m_mailPorts = ports; }

private:
    bool m_sendInProgress = false;
    MailPorts m_mailPorts;
};

// The child control of that object name; aborts with a clear message when the form
// lacks it, since that is a programming error caught by every window test.
template <class T> T* findControl(QWidget* window, const char* name) {
    T* c = window->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("control %s missing from the main window form", name);
    return c;
}

} // namespace zp
