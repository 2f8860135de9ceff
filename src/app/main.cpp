// quillmore-jig: the desktop front end.
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "app/Application.h"
#include "app/TForm1.h"
#include "jig/ProgramDir.h"
#include "jig/Version.h"
#include "jig/ftdi/Backends.h"
#include "sim/SimBackend.h"

namespace {
const char* kUsage =
    "usage: quillmore-jig [--sim KEYS] [--backend NAME] [--device SERIAL] [--trace FILE] [--fault KIND=N,...]\n"
    "       quillmore-jig --help | --version\n"
    "\n"
    "  --sim KEYS       use the virtual jig (\"demo\", or keys such as jig=ENE_EDID_KB,devices=2;\n"
    "                   qjig sim-keys lists them)\n"
    "  --backend NAME   auto (default), tty, d2xx, libftdi or sim; tty:PATH[,PATH] names\n"
    "                   serial nodes directly\n"
    "  --device SERIAL  use only the FTDI device with this serial number (qjig devices lists them)\n"
    "  --trace FILE     append a byte trace of every FTDI call to FILE\n"
    "  --fault KIND=N   make the Nth call of a kind fail (write-short, write-fail, read-fail,\n"
    "                   status-fail, purge-fail, baud-fail), on any backend\n"
    "\n"
    "Jig firmware images are looked up in the program's folder, then in\n"
    "$XDG_DATA_HOME/quillmore-jig/firmware/ (~/.local/share/...), then in the\n"
    "installation's share/quillmore-jig/firmware/. See quillmore-jig(1).\n";
}  // namespace

int main(int argc, char** argv) {
    // Answered before the toolkit starts: they need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return std::fputs(kUsage, stdout), 0;
        if (a == "--version") return std::printf("quillmore-jig %s\n", qj::versionText().c_str()), 0;
    }
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
        std::fprintf(stderr, "quillmore-jig: unknown argument %s\n%s", a.c_str(), kUsage);
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
