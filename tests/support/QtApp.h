#pragma once

#include <QApplication>

// The one QApplication of a GUI test program, made on first use (GoogleTest's own main runs the tests).
// It is never destroyed: at exit Qt's own statics may already be gone, and tearing it down then crashes.
inline QApplication& QtApp() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}
