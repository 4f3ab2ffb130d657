#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#ifdef HARBEL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    harbel::test::installPerTestFolders();
    return RUN_ALL_TESTS();
}
