#pragma once
// The one seam through which the program asks the user something: message boxes,
// the open-file and save-file dialogs and the folder dialog. The window uses the real dialogs;
// tests install a scripted answerer so that no test waits for a person.
#include <QString>
#include <QStringList>

class QWidget;

namespace zp {

// Message-box kinds as reportStatus numbers them.
enum class MsgKind { Warning = 0, Error = 1, Information = 2, Confirmation = 3, None = 4 };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal box with the title of its kind ("警告", "エラー", "情報", "確認").
    virtual MsgAnswer message(QWidget* parent, MsgKind kind, const QString& text,
                              MsgButtons buttons = MsgButtons::Ok) = 0;
    // Returns the chosen file, or an empty string when cancelled.
    virtual QString openFile(QWidget* parent, const QString& initialDir, const QString& filter) = 0;
    // Returns the file to write, or an empty string when cancelled. The dialog itself asks
    // before an existing file is replaced.
    virtual QString saveFile(QWidget* parent, const QString& initialPath,
                             const QString& filter) = 0;
    // Returns the chosen folder, or an empty string when cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& title,
                                 const QString& startDir) = 0;
};

// The dialogs in use; the real ones unless a test has installed others.
Dialogs& dialogs();
// Installs replacement dialogs (nullptr restores the real ones). Not owned.
void setDialogs(Dialogs* replacement);
// Nobody is left to answer (the program ends at the session's end or on a signal): from
// now on the real message boxes are written to standard error instead of shown and taken
// as answered with OK or No, and the file and folder dialogs as cancelled.
void answerUnattended();

} // namespace zp
