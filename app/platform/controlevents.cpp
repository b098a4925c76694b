#include "controlevents.h"

#include <QEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPointer>

namespace zp {

namespace {

class ControlEventFilter final : public QObject {
public:
    ControlEventFilter(QWidget* widget, ControlEvent kind, QObject* context,
                       std::function<void()> handler)
        : QObject(widget), m_kind(kind), m_context(context), m_handler(std::move(handler)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        Q_UNUSED(watched);
        // The focus has already moved when the focus events arrive, so the handler sees
        // the new focus control, as the platform's enter and exit events do.
        if (m_context && matches(event))
            m_handler();
        return false;
    }

private:
    bool matches(QEvent* event) const {
        switch (m_kind) {
        case ControlEvent::Enter:
            return event->type() == QEvent::FocusIn;
        case ControlEvent::Exit:
            // A focus that goes to a pop-up menu or another window comes back; the
            // control is left only when another control takes it.
            return event->type() == QEvent::FocusOut &&
                   static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
                   static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason;
        case ControlEvent::Click:
            return event->type() == QEvent::MouseButtonRelease &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        case ControlEvent::DoubleClick:
            return event->type() == QEvent::MouseButtonDblClick;
        }
        return false;
    }

    ControlEvent m_kind;
    QPointer<QObject> m_context;
    std::function<void()> m_handler;
};

} // namespace

QObject* onControlEvent(QWidget* widget, ControlEvent event, QObject* context,
                        std::function<void()> handler) {
    auto* filter = new ControlEventFilter(widget, event, context, std::move(handler));
    widget->installEventFilter(filter);
    return filter;
}

} // namespace zp
