#pragma once
// One folder box: a line edit naming a folder, a button that picks one in the folder
// dialog and a button that opens it in the desktop's file manager. The log folder and the
// output folder of made pictures are both such a box; only their message for a missing
// folder and the switch that turns them on differ.
//
// While the box is switched on, leaving it checks the text: a name the settings file
// cannot hold, or no existing folder (an empty or blank text is none), puts back the text
// the box had when it was entered, with a message. Enter moves the focus on like the other
// boxes, the check then runs once more (for when the focus could not move) with its
// message shown at most once, and the text now in the box becomes the remembered one.
#include <QObject>
#include <QString>

#include <functional>

class QAbstractButton;
class QKeyEvent;
class QLineEdit;

namespace zp {

struct FolderBoxControls {
    QLineEdit* box;
    QAbstractButton* select;
    QAbstractButton* open;
};

class FolderBox : public QObject {
    Q_OBJECT
public:
    // missingMessage: shown for a text that names no existing folder. switchedOn: whether
    // leaving the box checks it.
    FolderBox(const FolderBoxControls& controls, QString missingMessage,
              std::function<bool()> switchedOn, QObject* parent);

    // The box's text when it was last entered.
    QString lastValid() const { return m_lastValid; }
    // Why the text cannot stand; empty when it can.
    QString refusal(const QString& text) const;
    // The box and both buttons, and the box's colour.
    void setEnabled(bool on);

    void enter();
    void exit();
    // True when it took the key, so that the box does not see it.
    bool keyPress(QKeyEvent* event);
    void selectClick();
    // An existing folder goes to the file manager; anything else is refused as on leaving.
    void openClick();

signals:
    void moveFocusOn();

private:
    void refuse(const QString& message);

    const FolderBoxControls m_c;
    const QString m_missingMessage;
    const std::function<bool()> m_switchedOn;
    QString m_lastValid;
    bool m_inEnterKey = false;
    bool m_messageShown = false;
};

} // namespace zp
