#pragma once
// What the main window offers to every handler class of the ui/ folders. Each handler
// class is constructed with the window, typed pointers to the controls it needs and
// references to the parts it uses directly; it connects its own slots to its controls and
// talks back to the window only through this interface. Requests between handlers are
// signals or typed callbacks that app/ connects.
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

    // Files beside the executable: its path with ".ini" and with ".jpg".
    virtual QString settingsFilePath() const = 0;
    virtual QString workingJpegPath() const = 0;

    // The text of the status bar `statusBar` (written only through reportStatus).
    virtual QString statusText() = 0;
    // Enables or disables the panels pnlMain and pnlConfig together (around a send).
    virtual void setControlsEnabled(bool enabled) = 0;
    // Stores the file-name part of a path or name (behind the last folder separator)
    // in the hidden label lblFileNameF, the sourceName of the generated files.
    virtual void setSourceFileName(const QString& pathOrName) = 0;
    // Full path of the picture or file last taken in (empty when none).
    virtual QString sourceFilePath() const { return QString(); }
    virtual void setSourceFilePath(const QString& path) { Q_UNUSED(path); }
    // True from the start of a send (btnSendClick) until it has ended; while it is true the
    // intake refuses drops, pastes and the automatic send, and closing the window first
    // ends the send as a failure.
    virtual bool sendInProgress() const { return m_sendInProgress; }
    virtual void setSendInProgress(bool on) { m_sendInProgress = on; }

private:
    bool m_sendInProgress = false;
};

// The part of a path or name behind its last folder separator ("/" or "\\").
QString fileNamePart(const QString& pathOrName);

// The child control of that object name, for tests that reach a control as a user would
// name it; aborts with a clear message in every build when the window lacks it.
template <class T> T* findControl(QWidget* window, const char* name) {
    T* c = window->findChild<T*>(QString::fromLatin1(name));
    if (!c)
        qFatal("control %s missing from the main window form", name);
    return c;
}

} // namespace zp
