// Start-up of the real program (build/test/bin/Tolvi) on a generated history of each size, from
// the moment the process is spawned to "ready", with its memory at that moment; and the program
// at rest after that on the ten-thousand-text history (AtRest: its "time" is the wake-ups a
// second of all its threads, voluntary and involuntary context switches from
// /proc/<pid>/task/*/status, with no window shown: setup is marked done in its settings, and the
// history window a start shows is closed with Escape, through xdotool, before the count).
//
// Ready means both: the tray icon is mapped (a viewable window of the process embedded in the
// system tray's window), and the process has gone idle (the CPU time of all its threads, from
// /proc/<pid>/task/*/schedstat, has not moved for 250 ms). The time reported is the later of the
// two: the first poll that saw the icon, or the last poll that saw the CPU time move before the
// quiet stretch. Polls run every 2 ms; the kernel updates a running thread's CPU time at each
// tick (4 ms here), so "idle" is late by up to one tick. RSS is VmRSS after the quiet stretch,
// peak is VmHWM: both of the app process, with whatever the kernel counts for it (mapped file
// pages included). CPU time is that of the whole process up to ready, split into user and kernel
// time.
//
// Needs an X server with a system tray, so it runs under the test support script:
//   tests/support/with-x11 --tray -- build/test/bench/startup/StartupBenchmark
// AtRest alone also runs in a Wayland session (no tray there):
//   tests/support/with-sway -- build/test/bench/startup/StartupBenchmark --benchmark_filter=AtRest
// Each case's history is generated once per run of the benchmark (GeneratedHistory.h: texts of
// about 2.5 KB, real PNG images of about 1 MB of noise), written with the program's own history
// writer into a private home folder. Every start gets fresh settings and runtime folders, so each
// is a first start of the program on that history, with the file in the page cache. The app is
// ended with SIGKILL so that it never rewrites the file. Six starts of each case unless
// --benchmark_repetitions says otherwise.
//
// TOLVI_STARTUP_COMPARE=/path/to/another/Tolvi adds the same cases for that binary (for example a
// build of an older revision); with --benchmark_enable_random_interleaving=true the two are
// measured interleaved.
#include "GeneratedHistory.h"

#include "TolviCore/featureflags/SetupGuideVersion.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

using namespace tolvi::bench;
using Clock = std::chrono::steady_clock;

namespace {

// The tray icon of a process: a viewable window of that process inside a window of the process
// that owns the system tray selection.
class TrayWatcher {
public:
    TrayWatcher() : display_(XOpenDisplay(nullptr))
    {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~TrayWatcher()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    bool connected() const { return display_ != nullptr; }
    bool hasTray()
    {
        return XGetSelectionOwner(display_, XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False)) != None;
    }

    bool hasIcon(long pid)
    {
        const Window owner = XGetSelectionOwner(display_, XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False));
        if (owner == None)
            return false;
        const long trayPid = windowPid(owner);
        return trayPid > 0 && embedded(DefaultRootWindow(display_), pid, trayPid, false);
    }

private:
    long windowPid(Window window)
    {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        long value = -1;
        if (XGetWindowProperty(display_, window, XInternAtom(display_, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                               &type, &format, &count, &after, &data) == Success
            && data && count == 1)
            value = *reinterpret_cast<long*>(data);
        if (data)
            XFree(data);
        return value;
    }

    bool embedded(Window window, long pid, long trayPid, bool insideTray)
    {
        const long owner = windowPid(window);
        if (insideTray && owner == pid) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display_, window, &attributes) && attributes.map_state == IsViewable)
                return true;
        }
        insideTray = insideTray || owner == trayPid;
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display_, window, &root, &parent, &children, &count))
            return false;
        bool found = false;
        for (unsigned int i = 0; i < count && !found; ++i)
            found = embedded(children[i], pid, trayPid, insideTray);
        if (children)
            XFree(children);
        return found;
    }

    Display* display_;
};

// CPU time of every thread of a process, in nanoseconds.
unsigned long long cpuNanoseconds(pid_t pid)
{
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    unsigned long long total = 0;
    DIR* tasks = ::opendir(folder.c_str());
    if (!tasks)
        return 0;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream stat(folder + "/" + entry->d_name + "/schedstat");
        unsigned long long running = 0;
        if (stat >> running)
            total += running;
    }
    ::closedir(tasks);
    return total;
}

double statusMB(pid_t pid, const char* field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stod(line.substr(prefix.size())) / 1024.0;
    }
    return -1;
}

// How often each thread of a process has been switched out (its voluntary and involuntary context
// switches, from /proc/<pid>/task/<tid>/status): its wake-ups, by thread id.
std::map<std::string, unsigned long long> wakeUps(pid_t pid)
{
    std::map<std::string, unsigned long long> counts;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = ::opendir(tasks.c_str());
    if (!folder)
        return counts;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream status(tasks + "/" + entry->d_name + "/status");
        std::string line;
        // Switched out to wait, and switched out while runnable: either way, the thread ran.
        for (const std::string prefix : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
            status.clear();
            status.seekg(0);
            while (std::getline(status, line)) {
                if (line.compare(0, prefix.size(), prefix) == 0)
                    counts[entry->d_name] += std::stoull(line.substr(prefix.size()));
            }
        }
    }
    ::closedir(folder);
    return counts;
}

// The wake-ups between two counts: of the threads alive at the second (a thread that ended in
// between is not counted).
unsigned long long wakeUpsBetween(const std::map<std::string, unsigned long long>& before,
                                  const std::map<std::string, unsigned long long>& after)
{
    unsigned long long total = 0;
    for (const auto& [thread, count] : after) {
        const auto earlier = before.find(thread);
        total += count - (earlier == before.end() ? 0 : std::min(earlier->second, count));
    }
    return total;
}

// User and kernel CPU time of a process so far (its ended threads included), in milliseconds.
std::pair<double, double> cpuMilliseconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    if (end == std::string::npos)
        return {-1, -1};
    std::istringstream fields(line.substr(end + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    // After the name: state, then fields 4 to 13, then utime and stime.
    for (int i = 3; i <= 13 && fields >> field; ++i) {
    }
    fields >> user >> system;
    const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    return {double(user) * tick, double(system) * tick};
}

struct Outcome {
    double readySeconds = 0;
    double rssMB = 0;
    double peakMB = 0;
    double userMs = 0;
    double systemMs = 0;
    // At rest after ready (when asked for): wake-ups a second and CPU milliseconds a minute.
    double restWakeUpsPerSecond = 0;
    double restCpuMsPerMinute = 0;
    // Windows of the app still shown while at rest was measured (the tray icon not counted).
    int restWindowsShown = 0;
    std::string error;
};

// Runs a shell command line and waits for it; its output goes to the pipe read here.
std::string runShell(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (const size_t read = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, read);
        ::pclose(pipe);
    }
    return output;
}

// The app's shown top-level windows, other than its tray icon (a 22x22 or so window the tray
// embeds), as xdotool lists them.
std::vector<std::string> shownWindows(pid_t pid)
{
    std::istringstream ids(runShell("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null"));
    std::vector<std::string> windows;
    for (std::string id; ids >> id;) {
        const std::string geometry = runShell("xdotool getwindowgeometry " + id + " 2>/dev/null");
        const size_t at = geometry.find("Geometry: ");
        if (at == std::string::npos)
            continue;
        int width = 0, height = 0;
        if (std::sscanf(geometry.c_str() + at + 10, "%dx%d", &width, &height) == 2 && width > 64 && height > 64)
            windows.push_back(id);
    }
    return windows;
}

// Closes what a start shows (the history window, What's New) the way a user does: Escape in it.
void closeShownWindows(pid_t pid)
{
    for (int round = 0; round < 5; ++round) {
        const std::vector<std::string> windows = shownWindows(pid);
        if (windows.empty())
            return;
        for (const std::string& id : windows)
            runShell("xdotool windowactivate --sync " + id + " key Escape 2>/dev/null");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

Outcome startOnce(const std::string& app, const GeneratedHistory& generated, TrayWatcher& tray,
                  std::chrono::seconds rest = std::chrono::seconds(0))
{
    Outcome outcome;
    QTemporaryDir run;
    const std::string home = generated.home.path().toStdString();
    const std::string runtime = run.filePath(QStringLiteral("runtime")).toStdString();
    const std::string config = run.filePath(QStringLiteral("config")).toStdString();
    QDir().mkpath(QString::fromStdString(runtime));
    QFile::setPermissions(QString::fromStdString(runtime), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (rest.count() > 0) {
        // At rest is measured as users leave it: set up, no window shown.
        QDir().mkpath(QString::fromStdString(config + "/Tolvi"));
        QFile settings(QString::fromStdString(config + "/Tolvi/Tolvi.conf"));
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[General]\ntolvi.preferences.hasCompletedSetup=true\ntolvi.preferences.completedSetupVersion="
                           + tolvi::SetupGuideVersion::current().toUtf8() + "\n");
    }

    std::vector<std::string> variables;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const char* const replaced[] = {"HOME=", "XDG_DATA_HOME=", "XDG_CONFIG_HOME=", "XDG_RUNTIME_DIR=",
                                        "QT_QPA_PLATFORM="};
        if (std::none_of(std::begin(replaced), std::end(replaced),
                         [&](const char* name) { return entry.rfind(name, 0) == 0; }))
            variables.push_back(entry);
    }
    variables.push_back("HOME=" + home);
    variables.push_back("XDG_DATA_HOME=" + home + "/data");
    variables.push_back("XDG_CONFIG_HOME=" + config);
    variables.push_back("XDG_RUNTIME_DIR=" + runtime);
    // An XWayland client in a Wayland session, as there is no Qt Wayland plugin (and on X11 the
    // same as Qt's own choice).
    variables.push_back("QT_QPA_PLATFORM=xcb");
    std::vector<char*> envp;
    for (std::string& v : variables)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string program = app;
    char* argv[] = {program.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    const auto started = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        outcome.error = "could not start " + app;
        return outcome;
    }

    using namespace std::chrono_literals;
    std::optional<Clock::time_point> iconAt;
    Clock::time_point lastActive = started;
    unsigned long long lastCpu = 0;
    bool exited = false;
    while (Clock::now() - started < 60s) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        const auto now = Clock::now();
        const unsigned long long cpu = cpuNanoseconds(pid);
        if (cpu != lastCpu) {
            lastCpu = cpu;
            lastActive = now;
        }
        // Without a system tray (a bare sway session), ready is idle alone.
        if (!iconAt && (!tray.hasTray() || tray.hasIcon(pid)))
            iconAt = now;
        if (iconAt && now - lastActive >= 250ms)
            break;
        std::this_thread::sleep_for(2ms);
    }
    if (exited) {
        outcome.error = "the app ended before it was ready";
        return outcome;
    }
    if (!iconAt) {
        outcome.error = "no tray icon within 60 s";
    } else {
        const auto ready = std::max(*iconAt, lastActive);
        outcome.readySeconds = std::chrono::duration<double>(ready - started).count();
        outcome.rssMB = statusMB(pid, "VmRSS");
        outcome.peakMB = statusMB(pid, "VmHWM");
        std::tie(outcome.userMs, outcome.systemMs) = cpuMilliseconds(pid);
        if (rest.count() > 0) {
            // The history window a start shows comes a moment after ready; it is closed, and
            // what start-up leaves running in the background (the search's packing, the pool's
            // threads ending) settles first.
            std::this_thread::sleep_for(std::chrono::seconds(3));
            closeShownWindows(pid);
            std::this_thread::sleep_for(std::chrono::seconds(7));
            const auto wakeUpsBefore = wakeUps(pid);
            const auto [userBefore, systemBefore] = cpuMilliseconds(pid);
            std::this_thread::sleep_for(rest);
            const auto wakeUpsAfter = wakeUps(pid);
            const auto [userAfter, systemAfter] = cpuMilliseconds(pid);
            outcome.restWakeUpsPerSecond = double(wakeUpsBetween(wakeUpsBefore, wakeUpsAfter)) / double(rest.count());
            outcome.restCpuMsPerMinute =
                (userAfter + systemAfter - userBefore - systemBefore) * 60.0 / double(rest.count());
            outcome.restWindowsShown = int(shownWindows(pid).size());
        }
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return outcome;
}

void startToReady(benchmark::State& state, std::string app, HistoryShape shape)
{
    TrayWatcher tray;
    if (!tray.connected() || !tray.hasTray()) {
        state.SkipWithError("needs an X server with a system tray: run under tests/support/with-x11 --tray");
        return;
    }
    GeneratedHistory& generated = generatedHistory(shape);
    const qint64 sizeBefore = QFileInfo(generated.historyPath()).size();
    Outcome outcome;
    for (auto _ : state) {
        outcome = startOnce(app, generated, tray);
        if (!outcome.error.empty()) {
            state.SkipWithError(outcome.error.c_str());
            return;
        }
        state.SetIterationTime(outcome.readySeconds);
    }
    if (QFileInfo(generated.historyPath()).size() != sizeBefore)
        state.SkipWithError("the app changed the history file");
    state.counters["rss_MB"] = outcome.rssMB;
    state.counters["peak_MB"] = outcome.peakMB;
    state.counters["user_cpu_ms"] = outcome.userMs;
    state.counters["kernel_cpu_ms"] = outcome.systemMs;
    state.counters["file_MB"] = generated.fileMB;
    state.counters["decoded_MB"] = generated.decodedMB;
}

// The program at rest after start-up, no window open: how often its threads wake and how much
// CPU time it takes, over 30 seconds from 10 seconds after ready. Runs in a Wayland session too
// (tests/support/with-sway, where there is no tray: ready is idle alone there).
void atRest(benchmark::State& state, std::string app, HistoryShape shape)
{
    TrayWatcher tray;
    if (!tray.connected()) {
        state.SkipWithError("needs an X server (XWayland in a Wayland session): run under tests/support/with-x11 --tray");
        return;
    }
    GeneratedHistory& generated = generatedHistory(shape);
    Outcome outcome;
    for (auto _ : state) {
        outcome = startOnce(app, generated, tray, std::chrono::seconds(30));
        if (!outcome.error.empty()) {
            state.SkipWithError(outcome.error.c_str());
            return;
        }
        state.SetIterationTime(outcome.restWakeUpsPerSecond);
    }
    state.counters["wake_ups_per_s"] = outcome.restWakeUpsPerSecond;
    state.counters["cpu_ms_per_min"] = outcome.restCpuMsPerMinute;
    state.counters["windows_shown"] = outcome.restWindowsShown;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::pair<std::string, std::string>> apps{{"current", TOLVI_APP_PATH}};
    if (const char* other = std::getenv("TOLVI_STARTUP_COMPARE"); other && *other)
        apps.emplace_back("compare", other);
    for (const HistoryShape& shape : historyShapes()) {
        for (const auto& [label, path] : apps) {
            benchmark::RegisterBenchmark(("StartToReady/" + label + "/" + shape.name).c_str(), startToReady, path, shape)
                ->Unit(benchmark::kMillisecond)
                ->UseManualTime()
                ->Iterations(1);
        }
    }
    // At rest with the ten-thousand-text history.
    for (const HistoryShape& shape : historyShapes()) {
        if (shape.texts != 10'000 || shape.images != 0 || shape.accented)
            continue;
        for (const auto& [label, path] : apps) {
            benchmark::RegisterBenchmark(("AtRest/" + label + "/" + shape.name).c_str(), atRest, path, shape)
                ->UseManualTime()
                ->Iterations(1);
        }
    }
    // Six starts of each case unless told otherwise.
    std::vector<char*> arguments(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=6";
    if (std::none_of(arguments.begin(), arguments.end(),
                     [](const char* a) { return std::string_view(a).starts_with("--benchmark_repetitions"); }))
        arguments.push_back(repetitions.data());
    argc = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    argv = arguments.data();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
