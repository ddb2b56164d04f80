#pragma once
// The one application object of the pictures test program (fonts and image readers need it).

#include <QGuiApplication>

inline void EnsurePicturesApplication() {
    static int argc = 1;
    static char name[] = "pictures_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance())
        new QGuiApplication(argc, argv);
}
