// Shared main() for every test binary.
//
// - Tests never touch the user's real data: QStandardPaths runs in test mode and
//   XDG_RUNTIME_DIR points at a private folder of the test's own.
// - Without a display the Qt platform is "offscreen"; binaries that run under
//   tests/support/with-x11 get the real X server through DISPLAY.
// - Text is drawn with the test fonts (TestFonts.h), never with what the machine has installed;
//   binaries built with TOLVI_TEST_COLOUR_EMOJI also have a colour emoji font.
#include "TestFonts.h"

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtGlobal>

#if defined(TOLVI_TEST_QT_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(TOLVI_TEST_QT_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#elif defined(TOLVI_TEST_QT_CORE)
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
        QFile::setPermissions(runtimeDir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
    QStandardPaths::setTestModeEnabled(true);

#if defined(TOLVI_TEST_COLOUR_EMOJI)
    const tolvi::test::TestFonts fonts(tolvi::test::TestFonts::Set::withColourEmoji);
#else
    const tolvi::test::TestFonts fonts(tolvi::test::TestFonts::Set::standard);
#endif
    if (!fonts.install()) {
        std::fprintf(stderr, "%s\n", qPrintable(fonts.error()));
        return 1;
    }

#if defined(TOLVI_TEST_QT_WIDGETS) || defined(TOLVI_TEST_QT_GUI) || defined(TOLVI_TEST_QT_CORE)
    TestApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
