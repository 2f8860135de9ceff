// GUI tests run with one QApplication for the whole binary: offscreen, or the
// platform QJ_GUI_PLATFORM names (xcb under Xvfb for what only a window
// manager sees).
#include <gtest/gtest.h>

#include <QApplication>

#include "app/Application.h"

int main(int argc, char** argv) {
    const QByteArray platform = qgetenv("QJ_GUI_PLATFORM");
    qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
    QApplication app(argc, argv);
    JigApplication::setApplicationTitle();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
