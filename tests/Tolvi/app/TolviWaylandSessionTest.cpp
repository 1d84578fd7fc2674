// The real program in a headless sway session (tests/support/with-sway): it is an X11 client of
// XWayland while a Wayland-native window (foot) holds the focus. Copies made by Wayland programs
// are recorded in order, and "Tolvi --history" toggles the history window of the running program.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "RunningTolvi.h"
#include "X11TestDisplay.h"

#include <csignal>

using tolvi::test::eventTimeoutMs;
using tolvi::test::pollUntil;
using tolvi::test::RunningApp;
using tolvi::test::X11TestDisplay;

namespace {

// Runs a command as the session's user, as programs of the session run.
bool runInSession(const QString& command, const QByteArray& input = {})
{
    QProcess process;
    process.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), qEnvironmentVariable("TOLVI_TEST_SWAY_RUN") + QLatin1Char(' ') + command});
    if (!process.waitForStarted(eventTimeoutMs))
        return false;
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished(eventTimeoutMs) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The title of the window that has the keyboard focus in sway (its tree lists a node's "name"
// after its "focused" flag).
QString focusedWindow()
{
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")});
    if (!swaymsg.waitForFinished(eventTimeoutMs))
        return {};
    const QString tree = QString::fromUtf8(swaymsg.readAllStandardOutput());
    const qsizetype focused = tree.indexOf(QLatin1String("\"focused\": true"));
    if (focused < 0)
        return {};
    const qsizetype name = tree.indexOf(QLatin1String("\"name\": \""), focused);
    if (name < 0)
        return {};
    const qsizetype start = name + 9;
    return tree.mid(start, tree.indexOf(QLatin1Char('"'), start) - start);
}

} // namespace

TEST(TolviWaylandSession, CopiesInWaylandProgramsAreRecordedAndTheHistoryCommandTogglesTheWindow)
{
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr) << "no XWayland at DISPLAY";
    RunningApp app;
    // The program picks XWayland by itself in a Wayland session.
    app.extraEnvironment.insert("XDG_SESSION_TYPE", "wayland");
    app.start();
    const qint64 pid = app.process.processId();
    ASSERT_TRUE(pollUntil([&] { return app.output().contains("Session: Wayland (data control)"); }))
        << app.output().constData();
    // Start-up is over once the onboarding tour is on screen.
    ASSERT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi Setup"); })) << app.output().constData();
    // The tour has just taken the focus: a copy made while the app in front changes is skipped on
    // purpose, so the first copy comes once the capture has taken in the tour (Tolvi's own
    // window: no program), as a user's would.
    ASSERT_TRUE(pollUntil([&] {
        return focusedWindow() == QLatin1String("Tolvi Setup") && app.frontApplication() == QLatin1String("none");
    })) << focusedWindow().toStdString() << "\n" << app.output().constData();

    // Copies in a Wayland program while its window has the focus, each recorded at once.
    const QStringList copies{"first Wayland copy", "second Wayland copy", "third Wayland copy"};
    for (int i = 0; i < copies.size(); ++i) {
        ASSERT_TRUE(runInSession(QStringLiteral("wl-copy"), copies.at(i).toUtf8()));
        ASSERT_TRUE(pollUntil([&] { return app.output().count("Tolvi recorded clipboard item") == i + 1; }))
            << app.output().constData();
    }

    // "Tolvi --history" toggles the running program's history window and leaves at once.
    // The window takes the keyboard focus (the user types into its search field at once), and
    // gives it back to the Wayland window when it goes.
    EXPECT_EQ(app.launch({"--history"}, "tolvi-test-launch_TIME1234"), 0);
    EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi"); })) << app.output().constData();
    EXPECT_TRUE(pollUntil([&] { return focusedWindow() == QLatin1String("Tolvi"); })) << focusedWindow().toStdString();
    EXPECT_EQ(app.launch({"--history"}), 0);
    EXPECT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi"); }));
    EXPECT_TRUE(pollUntil([&] { return focusedWindow() == QLatin1String("foot"); })) << focusedWindow().toStdString();
    EXPECT_EQ(app.launch({"--compact"}), 0);
    EXPECT_TRUE(pollUntil([&] { return x.hasViewableWindow(pid, "Tolvi Compact"); })) << app.output().constData();
    EXPECT_EQ(app.launch({"--compact"}), 0);
    EXPECT_TRUE(pollUntil([&] { return !x.hasViewableWindow(pid, "Tolvi Compact"); }));
    // A mistyped option is an error of the launch, and reaches nothing.
    EXPECT_EQ(app.launch({"--histroy"}), 1);
    EXPECT_EQ(app.process.state(), QProcess::Running);

    // The history file holds the copies, newest first.
    ::kill(pid_t(pid), SIGTERM);
    ASSERT_TRUE(app.process.waitForFinished(eventTimeoutMs));
    QFile history(app.home.filePath("data/Tolvi/history.json"));
    ASSERT_TRUE(history.open(QIODevice::ReadOnly));
    const QJsonArray items = QJsonDocument::fromJson(history.readAll()).object().value("items").toArray();
    QStringList recorded;
    for (const QJsonValue& item : items)
        recorded.append(item.toObject().value("content").toObject().value("text").toString());
    EXPECT_EQ(recorded, QStringList({copies.at(2), copies.at(1), copies.at(0)}));
}
