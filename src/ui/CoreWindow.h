#pragma once
// A mode window that drives its core: it owns the core (whose destructor waits
// for the core's worker) and is busy while the core's operation runs, so the
// close box waits for it, also where EXIT stays enabled to stop an operation.
#include <memory>

#include "ui/ModeWindow.h"

template <class Core>
class CoreWindow : public ModeWindow {
public:
    using ModeWindow::ModeWindow;
    Core& core() { return *core_; }

protected:
    bool operationRunning() const override { return !core_->idle(); }

    std::unique_ptr<Core> core_;  // made by the window's constructor
};
