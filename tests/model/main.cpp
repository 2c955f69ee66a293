#include <QCoreApplication>
#include <gtest/gtest.h>

// The model's tests run their event loops on this application's main thread.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
