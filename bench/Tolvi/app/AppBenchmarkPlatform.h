#pragma once
// The composition root's platform as the app benchmarks run it: fakes for everything that would
// reach the desktop, the real history file and the real history window.
#include "Tolvi/app/AppState.h"
#include "Tolvi/platform/desktop/FakeWorkspace.h"
#include "Tolvi/platform/hotkeys/FakeHotKeyBackend.h"
#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/Clock.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "Tolvi/services/capture/Scheduler.h"

namespace tolvi::bench {

struct AppBenchmarkPlatform {
    InMemoryKeyValueSettings settings;
    InMemoryBundleInfo bundle;
    SystemClock clock;
    QtScheduler scheduler;
    FakeAlerts alerts;
    FakeFilePanels panels;
    FakeDesktopWorkspace desktop;
    FakeWorkspace workspace;
    InMemoryPasteboard pasteboard;
    FakeHotKeyBackend hotKeys;

    // The history file at `historyPath`, written by the program's own writer in the background;
    // the history window as the program makes it, the other windows left out.
    AppEnvironment environment(const QString& historyPath);
};

} // namespace tolvi::bench
