// main() of the end-to-end suites: a private X server with a window manager
// first, then this process joins it as a Qt client (to read the screen),
// then the tests. Listing the tests (as the build does) starts nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include <QGuiApplication>

#include "testsupport/e2e/desktop.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    std::string error;
    if (!murrel::e2e::Desktop::start(1280, 1024, error)) {
        std::cerr << "no virtual desktop: " << error << "\n";
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    int rc;
    {
        QGuiApplication application(argc, argv);
        rc = RUN_ALL_TESTS();
    }
    murrel::e2e::Desktop::stop();
    return rc;
}
