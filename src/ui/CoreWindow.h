#pragma once
// A mode window that drives its core: it owns the core (whose destructor waits
// for the core's worker) and is busy while the core's operation runs, so the
// close box waits for it, also where EXIT stays enabled to stop an operation.
#include <QAbstractButton>
#include <initializer_list>
#include <memory>
#include <utility>

#include "ui/ModeWindow.h"

template <class Core>
class CoreWindow : public ModeWindow {
public:
    using ModeWindow::ModeWindow;
    Core& core() { return *core_; }

protected:
    bool operationRunning() const override { return !core_->idle(); }
    // Each button's click runs the window's handler paired with it.
    template <class Window>
    void onClicks(Window* w, std::initializer_list<std::pair<QAbstractButton*, void (Window::*)()>> clicks) {
        for (const auto& [button, handler] : clicks) QObject::connect(button, &QAbstractButton::clicked, w, handler);
    }

    std::unique_ptr<Core> core_;  // made by the window's constructor
};
