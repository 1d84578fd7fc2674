// Installing Tolvi as a desktop program: `cmake --install` of this build into a temporary
// prefix gives a valid desktop entry, the icon and the OCR worker, and the app started from
// there (under Xvfb with openbox) shows the window class its entry names and finds its worker.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "RunningTolvi.h"
#include "RunningTolviX11.h"
#include "X11TestDisplay.h"

#include <X11/keysym.h>

#include <optional>

using tolvi::test::captureTookInTheProgramInFront;
using tolvi::test::pollUntil;
using tolvi::test::RunningApp;
using tolvi::test::X11TestDisplay;

namespace {

// The install every test here looks at, made once.
struct Installed {
    QTemporaryDir prefix;
    int exitCode = -1;
    QByteArray output;

    Installed()
    {
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(TOLVI_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(TOLVI_BUILD_DIR), QStringLiteral("--prefix"),
                       prefix.path()});
        if (install.waitForFinished(120000) && install.exitStatus() == QProcess::NormalExit)
            exitCode = install.exitCode();
        output = install.readAll();
    }

    QString path(const QString& relative) const { return prefix.filePath(relative); }
    QString app() const { return path(QStringLiteral("bin/Tolvi")); }
    QString worker() const { return path(QStringLiteral("libexec/tolvi/TolviOCRWorker")); }
    QString entry() const { return path(QStringLiteral("share/applications/tolvi.desktop")); }

    // A key of the entry's [Desktop Entry] group, as written.
    QString entryValue(const QString& key) const
    {
        QFile file(entry());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (line.startsWith(key.toUtf8() + '='))
                return QString::fromUtf8(line.mid(key.size() + 1));
        }
        return {};
    }
};

const Installed& installed()
{
    static const Installed instance;
    return instance;
}

// Processes whose parent is `parent`, by the program file they run.
QStringList childPrograms(qint64 parent)
{
    QStringList programs;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        QFile status(QStringLiteral("/proc/%1/status").arg(entry));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("\nPPid:");
        if (at < 0 || text.mid(at + 6, text.indexOf('\n', at + 1) - at - 6).trimmed().toLongLong() != parent)
            continue;
        programs << QFileInfo(QStringLiteral("/proc/%1/exe").arg(entry)).canonicalFilePath();
    }
    return programs;
}

} // namespace

TEST(TolviInstall, PutsAValidDesktopEntryTheIconAndTheWorkerUnderThePrefix)
{
    const Installed& tree = installed();
    ASSERT_EQ(tree.exitCode, 0) << tree.output.constData();

    for (const QString& program : {tree.app(), tree.worker()})
        EXPECT_TRUE(QFileInfo(program).isExecutable()) << program.toStdString();
    EXPECT_TRUE(QFileInfo::exists(tree.path(QStringLiteral("share/icons/hicolor/scalable/apps/tolvi.svg"))));

    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(QStringLiteral("desktop-file-validate"), {tree.entry()});
    ASSERT_TRUE(validate.waitForFinished(10000)) << "desktop-file-validate is missing (scripts/install-deps.sh)";
    const QByteArray report = validate.readAll();
    EXPECT_EQ(validate.exitCode(), 0) << report.constData();
    EXPECT_FALSE(report.contains("error")) << report.constData();

    // The menu starts the installed program wherever the prefix is.
    EXPECT_EQ(tree.entryValue(QStringLiteral("Exec")), QLatin1Char('"') + tree.app() + QLatin1Char('"'));
    EXPECT_EQ(tree.entryValue(QStringLiteral("Icon")), QStringLiteral("tolvi"));
    EXPECT_TRUE(tree.entryValue(QStringLiteral("Categories")).split(QLatin1Char(';')).contains(QStringLiteral("Utility")));
}

TEST(TolviInstall, TheInstalledAppShowsItsEntrysWindowClassAndFindsItsWorker)
{
    const Installed& tree = installed();
    ASSERT_EQ(tree.exitCode, 0) << tree.output.constData();
    X11TestDisplay x;
    ASSERT_NE(x.display(), nullptr);

    RunningApp app;
    app.program = tree.app();
    // Started from elsewhere: the worker is found from the program's own folder, not the current one.
    app.process.setWorkingDirectory(app.home.path());
    ASSERT_NO_FATAL_FAILURE(app.start());
    const qint64 pid = app.process.processId();
    const QTemporaryDir& home = app.home;

    // A first start shows the tour, in the window class the desktop entry promises.
    QByteArray windowClass;
    ASSERT_TRUE(pollUntil([&] {
        const std::optional<Window> tour = x.viewableWindow(pid, "Tolvi Setup");
        windowClass = tour ? x.windowClass(*tour) : QByteArray();
        return !windowClass.isEmpty();
    }));
    EXPECT_EQ(QString::fromUtf8(windowClass), tree.entryValue(QStringLiteral("StartupWMClass")));
    // The tour may stay open (Escape reaches it only if the window manager gave it the keyboard);
    // either way nothing in front changes while the copy is made.
    x.tap(XK_Escape);
    ASSERT_TRUE(captureTookInTheProgramInFront(x, app)) << app.output().constData();

    // A copied picture with text in it is handed to the worker, which the app starts as its child.
    QImage picture(420, 120, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        QFont font = painter.font();
        font.setPixelSize(48);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("HELLO TOLVI"));
    }
    const QString file = home.filePath(QStringLiteral("picture.png"));
    ASSERT_TRUE(picture.save(file, "PNG"));
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                                          QStringLiteral("image/png"), QStringLiteral("-i"), file});
    ASSERT_TRUE(xclip.waitForFinished(5000));

    const QString worker = QFileInfo(tree.worker()).canonicalFilePath();
    EXPECT_TRUE(pollUntil([&] { return childPrograms(pid).contains(worker); }, 20000))
        << childPrograms(pid).join(' ').toStdString() << "\n" << app.output().constData();
}
