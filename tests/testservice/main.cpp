#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The service and the clients in these tests share this thread's event loop.
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
