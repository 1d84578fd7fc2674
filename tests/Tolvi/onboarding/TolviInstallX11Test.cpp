// Installing Tolvi as a desktop program: `cmake --install` of this build into a temporary
// prefix gives a valid desktop entry, the icon and the OCR worker, and the app started from
// there (under Xvfb with openbox) shows the window class its entry names and finds its worker.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <functional>

namespace {

bool waitUntil(const std::function<bool()>& done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (done())
            return true;
        QThread::msleep(50);
    }
    return done();
}

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

class X11 {
public:
    X11() : m_display(XOpenDisplay(nullptr)) { XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); }
    ~X11()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    Display* display() const { return m_display; }

    // The WM_CLASS class of a viewable window of the process with this title; empty when none.
    QByteArray viewableWindowClass(qint64 pid, const QByteArray& title)
    {
        QByteArray found;
        visit(DefaultRootWindow(m_display), [&](Window window) {
            XWindowAttributes attributes{};
            char* name = nullptr;
            const bool titled = XFetchName(m_display, window, &name) && name && title == name;
            if (name)
                XFree(name);
            if (found.isEmpty() && titled && pidOf(window) == pid && XGetWindowAttributes(m_display, window, &attributes)
                && attributes.map_state == IsViewable) {
                XClassHint hint{};
                if (XGetClassHint(m_display, window, &hint)) {
                    found = hint.res_class ? QByteArray(hint.res_class) : QByteArray("?");
                    XFree(hint.res_name);
                    XFree(hint.res_class);
                }
            }
        });
        return found;
    }

    void tap(KeySym keysym)
    {
        const KeyCode code = XKeysymToKeycode(m_display, keysym);
        XTestFakeKeyEvent(m_display, code, True, CurrentTime);
        XTestFakeKeyEvent(m_display, code, False, CurrentTime);
        XSync(m_display, False);
    }

private:
    long pidOf(Window window)
    {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        long pid = -1;
        if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_PID", False), 0, 1, False,
                               XA_CARDINAL, &type, &format, &count, &after, &data) == Success && data && count == 1)
            pid = *reinterpret_cast<long*>(data);
        if (data)
            XFree(data);
        return pid;
    }

    void visit(Window window, const std::function<void(Window)>& each)
    {
        each(window);
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, window, &root, &parent, &children, &count))
            return;
        for (unsigned int i = 0; i < count; ++i)
            visit(children[i], each);
        if (children)
            XFree(children);
    }

    Display* m_display;
};

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
    X11 x;
    ASSERT_NE(x.display(), nullptr);

    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::MergedChannels);
    // Started from elsewhere: the worker is found from the program's own folder, not the current one.
    app.setWorkingDirectory(home.path());
    app.start(tree.app(), {});
    ASSERT_TRUE(app.waitForStarted(5000)) << app.errorString().toStdString();
    const qint64 pid = app.processId();
    auto finish = qScopeGuard([&app] {
        app.kill();
        app.waitForFinished(3000);
    });

    // A first start shows the tour, in the window class the desktop entry promises.
    QByteArray windowClass;
    ASSERT_TRUE(waitUntil([&] {
        windowClass = x.viewableWindowClass(pid, "Tolvi Setup");
        return !windowClass.isEmpty();
    }));
    EXPECT_EQ(QString::fromUtf8(windowClass), tree.entryValue(QStringLiteral("StartupWMClass")));
    // The tour may stay open (Escape reaches it only if the window manager gave it the keyboard);
    // either way nothing in front changes while the copy is made.
    x.tap(XK_Escape);
    QThread::msleep(1200);

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
    EXPECT_TRUE(waitUntil([&] { return childPrograms(pid).contains(worker); }, 20000))
        << childPrograms(pid).join(' ').toStdString() << "\n" << app.readAll().constData();
}
