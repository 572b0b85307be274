#pragma once
// Entry point of a test that looks at the program as a person would: it runs
// itself again under a virtual X server (xvfb-run) unless it already is on one,
// with the program's font substitutions, in a sandbox folder.

#include "app/SharedTypes.h"
#include "tests/support/TestSandbox.h"
#include "ui/Fonts.h"

#include <QApplication>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

// Returns only when already on the virtual server (or when xvfb-run is missing).
inline void reexecUnderXvfb(int argc, char** argv)
{
    if (!qEnvironmentVariableIsEmpty("MAG_UNDER_XVFB"))
        return;
    setenv("MAG_UNDER_XVFB", "1", 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                               const_cast<char*>("-s"),
                               const_cast<char*>("-screen 0 1600x1000x24")};
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
    std::perror("xvfb-run");
    std::exit(1);
}

#define MAG_TEST_MAIN_XVFB(TestObject)                                                             \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        reexecUnderXvfb(argc, argv);                                                               \
        registerMainMetaTypes();                                                                   \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        registerFontSubstitutions();                                                               \
        TestSandbox sandbox;                                                                       \
        TestObject tc;                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
