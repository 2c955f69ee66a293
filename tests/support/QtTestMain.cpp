#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests of Qt code: results arrive through the event loop, so the tests run inside an
// application object on the main thread.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
