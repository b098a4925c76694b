#pragma once
// Connects the platform's control events that Qt widgets carry only as virtual functions:
// "enter" (the control receives the focus), "exit" (it loses the focus to another control
// of the window) and "click" on controls without a clicked signal (labels, images, panels).
// The handler runs until the watched widget or the context object is destroyed.
#include <QObject>
#include <QWidget>

#include <functional>

namespace zp {

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
