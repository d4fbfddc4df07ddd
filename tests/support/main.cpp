#include <QCoreApplication>
#include <gtest/gtest.h>

// Every test program runs inside a QCoreApplication, as the library does in the host.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
