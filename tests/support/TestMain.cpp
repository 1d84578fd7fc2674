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
#include <optional>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // The child process of a death test, which this program started again, has its parent's
    // folders through the environment, and they outlive it: it makes none of its own, which it
    // would leave behind (it ends without returning from here).
    const bool deathTestChild = !GTEST_FLAG_GET(internal_run_death_test).empty();

    std::optional<QTemporaryDir> runtimeDir;
    if (!deathTestChild && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.emplace().isValid()) {
        QFile::setPermissions(runtimeDir->path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtimeDir->path().toLocal8Bit());
    }
    QStandardPaths::setTestModeEnabled(true);

#if defined(TOLVI_TEST_COLOUR_EMOJI)
    constexpr auto fontSet = tolvi::test::TestFonts::Set::withColourEmoji;
#else
    constexpr auto fontSet = tolvi::test::TestFonts::Set::standard;
#endif
    std::optional<tolvi::test::TestFonts> fonts;
    if (!deathTestChild || qEnvironmentVariableIsEmpty("FONTCONFIG_FILE")) {
        if (!fonts.emplace(fontSet).install()) {
            std::fprintf(stderr, "%s\n", qPrintable(fonts->error()));
            return 1;
        }
    }

#if defined(TOLVI_TEST_QT_WIDGETS) || defined(TOLVI_TEST_QT_GUI) || defined(TOLVI_TEST_QT_CORE)
    TestApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
