// quillmore-jig: the desktop front end.
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "app/Application.h"
#include "app/TForm1.h"
#include "cli/Cli.h"
#include "jig/ftdi/Backends.h"

int main(int argc, char** argv) {
    JigApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    qj::BackendOptions bo;
    std::string err;
    if (!qj::takeBackendOptions(args, bo, err)) {
        std::fprintf(stderr, "quillmore-jig: %s\n", err.c_str());
        return 2;
    }
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::printf("usage: quillmore-jig [--sim SPEC] [--backend NAME] [--trace FILE]\n");
            return 0;
        }
        std::fprintf(stderr, "quillmore-jig: unknown argument %s\n", a.c_str());
        return 2;
    }
    try {
        auto api = qj::makeBackend(bo, err);
        if (!api) {
            std::fprintf(stderr, "quillmore-jig: %s\n", err.c_str());
            return 2;
        }
        AppContext ctx{*api, qj::cli::programDir()};
        Windows windows(ctx);
        windows.main()->show();
        return app.exec();
    } catch (const std::exception& e) {
        showExceptionBox(QString::fromStdString(e.what()));
        return 1;
    }
}
