#pragma once
// The up-down control bound to an edit box (its buddy): two small arrow buttons that
// step a position within a range and write it into the box as decimal text. As with the
// platform's buddy up-downs, a click first takes the box's text as the position when it
// is a number, so a value typed into the box is stepped from; the box itself keeps any
// text the user types until it is left.
#include <QWidget>

#include <algorithm>

class QLineEdit;
class QToolButton;

namespace zp {

class UpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int position READ position WRITE setPosition NOTIFY positionChanged)
    Q_PROPERTY(bool wrap READ wrap WRITE setWrap)
public:
    explicit UpDown(QWidget* parent = nullptr);

    int position() const { return m_position; }
    // Clamps to the range and writes the buddy's text.
    void setPosition(int pos);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    void setRange(int min, int max);
    void setMinimum(int min) { setRange(min, std::max(min, m_max)); }
    void setMaximum(int max) { setRange(std::min(m_min, max), max); }
    QLineEdit* buddy() const { return m_buddy; }
    void setBuddy(QLineEdit* edit);
    bool wrap() const { return m_wrap; }
    void setWrap(bool on) { m_wrap = on; }

    // One step up (+1) or down (-1), as an arrow click or arrow key does.
    void step(int delta);

signals:
    void positionChanged(int position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void syncFromBuddy();
    // Tells a screen reader the range and the keys that step it.
    void describeBuddy();
    void writeBuddy();

    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    QLineEdit* m_buddy = nullptr;
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
    bool m_wrap = false;
};

} // namespace zp
