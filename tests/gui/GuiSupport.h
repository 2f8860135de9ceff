#pragma once
// A whole application on the virtual jig, offscreen, with message boxes and
// file dialogs answered by the test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/TForm1.h"
#include "support/TestSupport.h"
#include "ui/QtModeView.h"

namespace qjt {

// Runs the event loop until `done` or `ms` of real time (for UI timers such as
// Timer_RUN's 300 ms); returns `done()`.
inline bool waitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The close box: the request goes through the platform as the window
// manager's close message does (handled synchronously).
inline void closeByWindowSystem(QWidget* w) {
    if (QWindow* h = w->windowHandle()) h->close();
}

struct GuiRig {
    enum class Clock { Instant, RealTime };
    // RealTime: the virtual jig runs at the line rate, for walks in which the
    // user acts while an operation waits.
    explicit GuiRig(const std::string& simKeys, const std::string& programDir = binDir(),
                    Clock clock = Clock::Instant)
        : sim(clock == Clock::Instant ? makeSim(simKeys)
                                      : std::make_unique<qj::sim::SimFtdi>(simKeys + ",mode=paced")),
          ctx{*sim, programDir},
          windows(ctx) {
        QtModeView::hooks().box = [this](qj::BoxKind k, const std::string& t) { boxes.push_back({k, t}); };
        QtModeView::hooks().dialog = [this](bool save, const QString&) -> std::optional<std::string> {
            auto& q = save ? saveAnswers : openAnswers;
            if (q.empty()) return std::nullopt;
            auto a = q.front();
            q.pop_front();
            return a;
        };
        windows.main()->show();
    }
    ~GuiRig() {
        QtModeView::hooks() = {};
        // Every control a core named must be one its window has.
        for (QWidget* w : windows.all())
            if (auto* m = dynamic_cast<ModeWindow*>(w))
                for (const std::string& name : m->view().unknownControls())
                    ADD_FAILURE() << w->objectName().toStdString() << " has no control " << name;
    }
    template <class T = QWidget>
    T* find(const char* name) const {
        for (QWidget* w : windows.all()) {
            if (w->objectName() == name) return qobject_cast<T*>(w);
            if (auto* c = w->findChild<T*>(name)) return c;
        }
        return nullptr;
    }
    QWidget* form(const char* name) const {
        for (QWidget* w : windows.all())
            if (w->objectName() == name) return w;
        return nullptr;
    }

    std::unique_ptr<qj::sim::SimFtdi> sim;
    AppContext ctx;
    Windows windows;
    std::vector<RecordingView::Box> boxes;
    std::deque<std::optional<std::string>> saveAnswers, openAnswers;
};

}  // namespace qjt
