#pragma once
// Test entry points: like QTEST_MAIN / QTEST_GUILESS_MAIN, plus a sandbox folder.

#include "app/SharedTypes.h"
#include "tests/support/TestSandbox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QtTest>

#define MAG_TEST_MAIN_IMPL(AppClass, TestObject)                                                   \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        registerMainMetaTypes();                                                                   \
        AppClass app(argc, argv);                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestSandbox sandbox;                                                                       \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

// Tests that need widgets.
#define MAG_TEST_MAIN(TestObject) MAG_TEST_MAIN_IMPL(QApplication, TestObject)
// Tests without widgets.
#define MAG_TEST_MAIN_CORE(TestObject) MAG_TEST_MAIN_IMPL(QCoreApplication, TestObject)
