// quillmore-jig: the desktop front end.
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "app/Application.h"
#include "app/TForm1.h"
#include "jig/ProgramDir.h"
#include "jig/ftdi/Backends.h"
#include "sim/SimBackend.h"

int main(int argc, char** argv) {
    JigApplication app(argc, argv);
    qj::sim::registerSimBackend();
    std::vector<std::string> args(argv + 1, argv + argc);
    qj::BackendOptions bo;
    std::string err;
    if (!qj::takeBackendOptions(args, bo, err)) {
        std::fprintf(stderr, "quillmore-jig: %s\n", err.c_str());
        return 2;
    }
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::printf("usage: quillmore-jig [--sim KEYS] [--backend auto|tty|d2xx|libftdi|sim|tty:PATH] [--trace FILE]\n");
            return 0;
        }
        std::fprintf(stderr, "quillmore-jig: unknown argument %s\n", a.c_str());
        return 2;
    }
    // Advice from a real backend (no permission, latency timer) reaches the
    // user in a box; it may come from a worker thread, hence the queued call.
    bo.notice = [](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
        QMetaObject::invokeMethod(
            qApp, [t = QString::fromStdString(text)] { QMessageBox::information(nullptr, "Quillmore JIG", t); },
            Qt::QueuedConnection);
    };
    try {
        auto api = qj::makeBackend(bo, err);
        if (!api) {
            // A misspelt virtual-jig key or an unknown backend: said in a box, as
            // the user may have started the program from a desktop entry.
            std::fprintf(stderr, "quillmore-jig: %s\n", err.c_str());
            QMessageBox::critical(nullptr, "Quillmore_JIG", QString::fromStdString(err));
            return 2;
        }
        AppContext ctx{*api, qj::programDir()};
        Windows windows(ctx);
        windows.main()->show();
        return app.exec();
    } catch (const std::exception& e) {
        showExceptionBox(QString::fromStdString(e.what()));
        return 1;
    }
}
