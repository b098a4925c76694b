#pragma once
// A group box of radio buttons addressed by item index, like the platform's radio group:
// setItems builds one button per text, itemIndex is the chosen one (-1 for none).
#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

namespace zp {

class RadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex)
public:
    explicit RadioGroup(QWidget* parent = nullptr);

    QStringList items() const { return m_items; }
    void setItems(const QStringList& items);
    int itemIndex() const;
    void setItemIndex(int index);

signals:
    // A click of the user on one of the buttons (not emitted by setItemIndex).
    void clicked();

private:
    void updateTabStop();

    QButtonGroup* m_group = nullptr;
    QStringList m_items;
};

} // namespace zp
