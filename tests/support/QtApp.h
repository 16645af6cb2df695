#pragma once

#include <QApplication>

// The one QApplication of a GUI test program, made on first use (GoogleTest's own main runs the tests).
inline QApplication& QtApp() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}
