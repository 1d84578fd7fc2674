#pragma once

// The app's handle on the OCR worker program. Starts the worker when the first image needs
// it, sends one image per request and turns the reply into an outcome, keeps a healthy
// worker for the next image, and retires a worker (SIGTERM, then SIGKILL half a second
// later) whenever a request ends in anything but a clean noText or recognized reply, or is
// cancelled or overtaken by its deadline.
//
// recognize() runs on the coordinator's OCR thread only. A cancel or deadline may retire the
// current worker from any thread, through the closure it leaves in the request's Cancellation.

#include "Tolvi/services/ocr/DelayedExecutor.h"
#include "Tolvi/services/ocr/ImageOCRService.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace tolvi {

class OCRHelperSession {
public:
    // Program name of the worker, looked for in workerDirectory() of the app's own folder.
    static QString workerProgramName() { return QStringLiteral("TolviOCRWorker"); }
    static constexpr std::chrono::milliseconds killDelay{500};

    // No executable makes every request fail. `timers` runs the delayed SIGKILL (the shared
    // utility queue when none is given).
    explicit OCRHelperSession(std::optional<QString> executable, QStringList arguments = {},
                              DelayedExecutor* timers = nullptr);
    ~OCRHelperSession();
    OCRHelperSession(const OCRHelperSession&) = delete;
    OCRHelperSession& operator=(const OCRHelperSession&) = delete;

    ImageOCRService::Outcome recognize(const QByteArray& data, ImageOCRService::Cancellation& cancellation);

    // The worker in workerDirectory() of this program's own folder (the folder of
    // /proc/self/exe), never relative to argv[0] or the current folder, which a launcher controls.
    static std::optional<QString> bundledExecutable();
    // Where the worker lives for an app in `appDirectory`: one rule for the build tree and an
    // installed tree alike (bin/Tolvi and libexec/tolvi/TolviOCRWorker under one prefix).
    static QString workerDirectory(const QString& appDirectory);
    // `directory`/TolviOCRWorker when it is a regular file this user may execute.
    static std::optional<QString> executableIn(const QString& directory);

    // The pid of the worker kept right now (0 with none). Call from the OCR thread, or
    // between requests.
    pid_t workerProcessId() const;

    class Child;

private:
    std::shared_ptr<Child> obtainChild();
    void dropChild(bool retireFirst);

    const std::optional<QString> m_executable;
    const QStringList m_arguments;
    DelayedExecutor& m_timers;
    std::shared_ptr<Child> m_child;
};

} // namespace tolvi
