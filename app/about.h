#pragma once
// The about page (product, version, link, credits) with its two hidden options, the
// firing caption of the send button and its sound, and two small handlers of the mail
// fields: the body length in the body's label and clearing the "sent" status.
#include "platform/windowhost.h"

#include <QObject>
#include <QString>

namespace Ui {
class TfrmMain;
}

namespace zp {

// Part of the window itself, it takes its controls straight from the form.
class AboutPage : public QObject {
    Q_OBJECT
public:
    AboutPage(WindowHost& host, Ui::TfrmMain& form, QObject* parent);

    // Length of a text in Shift-JIS bytes, each line break counted as CR LF.
    static int sjisLength(const QString& text);

public slots:
    void lblUrlClick();
    void imgProgramIconClick();
    void chkSendCapClick();
    void btnSendSEClick();
    void memoBodyChange();
    void edtTitleEnter();

private:
    WindowHost& m_host;
    Ui::TfrmMain& m_form;
};

} // namespace zp
