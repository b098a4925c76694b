#include "controlevents.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWindow>

namespace zp {

namespace {

class EventHook : public QObject {
public:
    EventHook(QWidget* owner, QEvent::Type type, QObject* context,
              std::function<bool(QEvent*)> handler)
        : QObject(owner), m_type(type), m_context(context), m_handler(std::move(handler)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != m_type || !m_context || !accepts(watched))
            return false;
        return m_handler(event);
    }

protected:
    virtual bool accepts(QObject* watched) const {
        Q_UNUSED(watched);
        return true;
    }

private:
    QEvent::Type m_type;
    QPointer<QObject> m_context;
    std::function<bool(QEvent*)> m_handler;
};

// Watches the application for events sent to the window's platform window, which exists
// only once the window is shown; Qt dispatches them from there to the controls.
class WindowEventHook final : public EventHook {
public:
    WindowEventHook(QWidget* window, QEvent::Type type, QObject* context,
                    std::function<bool(QEvent*)> handler)
        : EventHook(window, type, context, std::move(handler)), m_window(window) {}

protected:
    bool accepts(QObject* watched) const override {
        return m_window && watched->isWindowType() && watched == m_window->windowHandle();
    }

private:
    QPointer<QWidget> m_window;
};

bool isLeftRelease(QEvent* e) {
    return static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton;
}

// A focus that goes to a pop-up menu or another window comes back; the control is left
// only when another control takes it.
bool leavesForAnotherControl(QEvent* e) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
    return reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason;
}

} // namespace

QObject* onEvent(QWidget* widget, QEvent::Type type, QObject* context,
                 std::function<bool(QEvent*)> handler) {
    auto* hook = new EventHook(widget, type, context, std::move(handler));
    widget->installEventFilter(hook);
    return hook;
}

QObject* onWindowEvent(QWidget* window, QEvent::Type type, QObject* context,
                       std::function<bool(QEvent*)> handler) {
    auto* hook = new WindowEventHook(window->window(), type, context, std::move(handler));
    QCoreApplication::instance()->installEventFilter(hook);
    return hook;
}

QObject* onControlEvent(QWidget* widget, ControlEvent event, QObject* context,
                        std::function<void()> handler) {
    // The focus has already moved when the focus events arrive, so the handler sees the
    // new focus control, as the platform's enter and exit events do.
    QEvent::Type type = QEvent::None;
    bool (*when)(QEvent*) = nullptr;
    switch (event) {
    case ControlEvent::Enter:
        type = QEvent::FocusIn;
        break;
    case ControlEvent::Exit:
        type = QEvent::FocusOut;
        when = leavesForAnotherControl;
        break;
    case ControlEvent::Click:
        type = QEvent::MouseButtonRelease;
        when = isLeftRelease;
        break;
    case ControlEvent::DoubleClick:
        type = QEvent::MouseButtonDblClick;
        break;
    }
    return onEvent(widget, type, context, [when, h = std::move(handler)](QEvent* e) {
        if (!when || when(e))
            h();
        return false;
    });
}

} // namespace zp
