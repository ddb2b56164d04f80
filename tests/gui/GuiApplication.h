#pragma once
// The one application object of the gui test program, made by the first test that needs it.

#include <QApplication>

inline void EnsureGuiApplication() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}
