#pragma once
// Connects the platform's control events that Qt widgets carry only as virtual functions:
// "enter" (the control receives the focus), "exit" (it loses the focus to another control
// of the window), "click" on controls without a clicked signal (labels, images, panels),
// and the raw mouse, key, drag and wheel events that handlers take with their details.
// A handler runs until the watched widget or the context object is destroyed.
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <functional>

namespace zp {

// Calls handler with every event of that type that reaches widget, before the widget sees
// it; a handler that returns true consumes the event. A list or another scroll area gets
// its mouse, wheel and drag events on its viewport(), so those are hooked there.
QObject* onEvent(QWidget* widget, QEvent::Type type, QObject* context,
                 std::function<bool(QEvent*)> handler);

// Calls handler with every event of that type that arrives at the top-level window, before
// Qt hands it to the control under the pointer or with the focus: the wheel of the window
// is taken here, where a scrolling control could not keep it from the window. A handler
// that returns true consumes the event. Safe before the window is first shown.
QObject* onWindowEvent(QWidget* window, QEvent::Type type, QObject* context,
                       std::function<bool(QEvent*)> handler);

enum class ControlEvent { Enter, Exit, Click, DoubleClick };

// Calls handler when the event arrives, before the widget sees it; returns the filter object.
QObject* onControlEvent(QWidget* widget, ControlEvent event, QObject* context,
                        std::function<void()> handler);

inline QObject* onEnter(QWidget* w, QObject* ctx, std::function<void()> h) {
    return onControlEvent(w, ControlEvent::Enter, ctx, std::move(h));
}
inline QObject* onExit(QWidget* w, QObject* ctx, std::function<void()> h) {
    return onControlEvent(w, ControlEvent::Exit, ctx, std::move(h));
}
inline QObject* onClick(QWidget* w, QObject* ctx, std::function<void()> h) {
    return onControlEvent(w, ControlEvent::Click, ctx, std::move(h));
}

} // namespace zp
