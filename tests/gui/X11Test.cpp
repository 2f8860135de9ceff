// What the window manager sees, under a real X server (Xvfb): run by the
// gui_x11 test with QJ_GUI_PLATFORM=xcb; skipped on any other platform.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPlainTextEdit>

#include "gui/GuiSupport.h"

#ifdef QJ_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

using namespace qjt;

namespace {

#ifdef QJ_HAVE_XCB
// A connection of our own to the same display: the properties as any other
// client (the window manager) reads them.
class X11 {
public:
    X11() : c_(xcb_connect(nullptr, nullptr)) {}
    ~X11() { xcb_disconnect(c_); }
    bool ok() const { return xcb_connection_has_error(c_) == 0; }

    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(r);
        return a;
    }
    std::string netWmName(xcb_window_t w) {
        auto* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 0, 1024), nullptr);
        std::string s;
        if (r) s.assign(static_cast<const char*>(xcb_get_property_value(r)),
                        static_cast<size_t>(xcb_get_property_value_length(r)));
        std::free(r);
        return s;
    }
    // WM_DELETE_WINDOW, as a window manager sends it for its close button.
    void askToClose(xcb_window_t w) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = w;
        ev.type = atom("WM_PROTOCOLS");
        ev.data.data32[0] = atom("WM_DELETE_WINDOW");
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c_, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        xcb_flush(c_);
    }

private:
    xcb_connection_t* c_;
};
#endif

bool onX11() { return QGuiApplication::platformName() == "xcb"; }

TEST(X11, EveryCaptionIsTheWindowManagersNameExactly) {
#ifndef QJ_HAVE_XCB
    GTEST_SKIP() << "built without xcb";
#else
    if (!onX11()) GTEST_SKIP() << "needs the xcb platform (the gui_x11 test)";
    X11 x;
    ASSERT_TRUE(x.ok());
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    const std::pair<const char*, const char*> captions[] = {
        {"Form1", "Quillmore_JIG  VER 4.\xD0\xA1   2/02/2018   for PCB2 only"},
        {"EDID_form", "EEPROM LCD read/write 01/07/2017"},
        {"KB901X_forms", "KB9010/9012/9016/9022  and KESTRA 01/07/2017"},
        {"Keyboard_testing", "Keyboard_testing 01_07_2017"},
        {"MEC16_Form", "Read and Write MEC   19_03_17"},
        {"ITE_FORM", "ITE 02_02_2018"},
        {"NPCE_FORM", "NPCE288N/388N external board KESTRA 01_07_2017"},
        {"UPDATE_FORM", "Update FW for PCB2 and PCB3"},
        {"Form_NUVOTON_JTAG", "NUVOTON JTAG 1_07_2017"},
    };
    for (const auto& [form, caption] : captions) {
        QWidget* w = rig.form(form);
        ASSERT_TRUE(w) << form;
        w->show();
        const auto id = static_cast<xcb_window_t>(w->winId());
        std::string name;
        waitFor([&] { return (name = x.netWmName(id)) == caption; }, 2000);
        EXPECT_EQ(name, caption) << form;
        if (w != rig.form("Form1")) w->hide();
    }
#endif
}

TEST(X11, WindowManagersCloseOnAnIdleModeWindowReturnsToTheMainWindow) {
#ifndef QJ_HAVE_XCB
    GTEST_SKIP() << "built without xcb";
#else
    if (!onX11()) GTEST_SKIP() << "needs the xcb platform (the gui_x11 test)";
    X11 x;
    ASSERT_TRUE(x.ok());
    ScratchDir dir;
    GuiRig rig("jig=ENE_EDID_KB");
    bool ended = false;
    const auto c = QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { ended = true; });
    QWidget* main = rig.form("Form1");
    QWidget* edid = rig.form("EDID_form");
    main->hide();
    edid->show();
    rig.find<QPlainTextEdit>("EDID_Memo")->appendPlainText("Reading EEPROM ...");
    ASSERT_TRUE(waitFor([&] { return edid->windowHandle() && edid->windowHandle()->isExposed(); }, 3000));
    x.askToClose(static_cast<xcb_window_t>(edid->winId()));
    EXPECT_TRUE(waitFor([&] { return !edid->isVisible() && main->isVisible(); }, 3000));
    EXPECT_TRUE(rig.find<QPlainTextEdit>("EDID_Memo")->toPlainText().isEmpty());
    EXPECT_FALSE(ended);
    QObject::disconnect(c);
#endif
}

}  // namespace
