#pragma once
// The address dialog: a name box and an address box, used for adding and editing an entry
// of the recipient list. Created once, hidden, and reused.
#include <QDialog>
#include <QString>

#include <utility>

class QLineEdit;
class QPushButton;

namespace zp {

class TfrmInputAddr : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInputAddr(QWidget* parent);

    // Shows the dialog modally with the entry split into its boxes (both empty for a new
    // entry) and returns the entry made from the cleaned boxes, or the given text unchanged
    // when the dialog is cancelled.
    QString editAddrEntry(const QString& entry);

public slots:
    // Closes the dialog with OK unless the boxes hold something the entry cannot take;
    // then it says why and stays open.
    void btnOKClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool refuseUnstorable(QLineEdit* box);

    QLineEdit* m_name;
    QLineEdit* m_addr;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QString m_entry;
};

} // namespace zp
