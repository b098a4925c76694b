#include "updown.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zp {

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_up = new QToolButton(this);
    m_down = new QToolButton(this);
    for (QToolButton* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        layout->addWidget(b);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    // The arrows take no focus (the box's arrow keys step); a screen reader still lists
    // them as buttons, so they are named.
    m_up->setAccessibleName(QStringLiteral("増やす"));
    m_down->setAccessibleName(QStringLiteral("減らす"));
    connect(m_up, &QToolButton::clicked, this, [this] { step(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::setRange(int min, int max) {
    m_min = std::min(min, max);
    m_max = std::max(min, max);
    setPosition(m_position);
    describeBuddy();
}

void UpDown::setPosition(int pos) {
    const int clamped = std::clamp(pos, m_min, m_max);
    const bool changed = clamped != m_position;
    m_position = clamped;
    writeBuddy();
    if (changed)
        emit positionChanged(m_position);
}

void UpDown::setBuddy(QLineEdit* edit) {
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = edit;
    if (m_buddy) {
        m_buddy->installEventFilter(this);
        writeBuddy();
        describeBuddy();
    }
}

void UpDown::describeBuddy() {
    if (m_buddy)
        m_buddy->setAccessibleDescription(
            QStringLiteral("%1～%2、上下の矢印キーで増減").arg(m_min).arg(m_max));
}

void UpDown::step(int delta) {
    const int before = m_position;
    syncFromBuddy();
    long next = static_cast<long>(m_position) + delta;
    if (m_wrap && next > m_max)
        next = m_min;
    else if (m_wrap && next < m_min)
        next = m_max;
    m_position = static_cast<int>(std::clamp<long>(next, m_min, m_max));
    writeBuddy();
    if (m_position != before)
        emit positionChanged(m_position);
}

void UpDown::syncFromBuddy() {
    if (!m_buddy)
        return;
    bool ok = false;
    const int typed = m_buddy->text().trimmed().toInt(&ok);
    if (ok)
        m_position = std::clamp(typed, m_min, m_max);
}

void UpDown::writeBuddy() {
    if (m_buddy && m_buddy->text() != QString::number(m_position))
        m_buddy->setText(QString::number(m_position));
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_buddy && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDown::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        m_up->setEnabled(isEnabled());
        m_down->setEnabled(isEnabled());
    }
    QWidget::changeEvent(event);
}

} // namespace zp
