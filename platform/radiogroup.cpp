#include "radiogroup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace zp {

RadioGroup::RadioGroup(QWidget* parent) : QGroupBox(parent), m_group(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(0);
    connect(m_group, &QButtonGroup::buttonClicked, this, [this] { emit clicked(); });
    connect(m_group, &QButtonGroup::idToggled, this, [this] { updateTabStop(); });
}

void RadioGroup::updateTabStop() {
    // Like the platform's radio group, the group is one tab stop: its chosen button, or
    // the first while none is chosen; the arrow keys move within it.
    QAbstractButton* stop = m_group->checkedButton();
    if (!stop && !m_group->buttons().isEmpty())
        stop = m_group->buttons().first();
    for (QAbstractButton* b : m_group->buttons())
        b->setFocusPolicy(b == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void RadioGroup::setItems(const QStringList& items) {
    for (QAbstractButton* b : m_group->buttons()) {
        m_group->removeButton(b);
        delete b;
    }
    m_items = items;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items.at(i), this);
        b->setObjectName(objectName() + QStringLiteral("_%1").arg(i));
        m_group->addButton(b, i);
        layout()->addWidget(b);
    }
    updateTabStop();
}

int RadioGroup::itemIndex() const {
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    QAbstractButton* target = m_group->button(index);
    if (target) {
        target->setChecked(true);
        return;
    }
    // No choice: an exclusive group refuses to uncheck its last button.
    m_group->setExclusive(false);
    for (QAbstractButton* b : m_group->buttons())
        b->setChecked(false);
    m_group->setExclusive(true);
    updateTabStop();
}

} // namespace zp
