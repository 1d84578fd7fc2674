#include "Tolvi/services/ocr/OCRHelperSession.h"

#include "Tolvi/services/ocr/OCRWorkerProcess.h"
#include "ocr-protocol/OCRRasterPolicy.h"
#include "ocr-protocol/OCRWire.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <csignal>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

using ImageOCRService::Outcome;

// One running worker and the request it serves.
class OCRHelperSession::Child : public std::enable_shared_from_this<OCRHelperSession::Child> {
public:
    Child(std::unique_ptr<OCRWorkerProcess> process, DelayedExecutor& timers)
        : m_process(std::move(process)), m_timers(timers)
    {
    }

    OCRWorkerProcess& process() { return *m_process; }

    bool beginRequest(const QUuid& id)
    {
        std::lock_guard guard(m_lock);
        if (m_retiring || m_requestId)
            return false;
        m_requestId = id;
        return true;
    }

    bool completeRequest(const QUuid& id)
    {
        std::lock_guard guard(m_lock);
        if (m_requestId != id)
            return false;
        m_requestId.reset();
        return !m_retiring;
    }

    // Stops the worker: SIGTERM now, SIGKILL after the kill delay if it still runs. With a
    // request id, only while that request is the one in flight (a stale cancel never stops a
    // worker that has moved on).
    void retire(const std::optional<QUuid>& request)
    {
        {
            std::lock_guard guard(m_lock);
            if (m_retiring)
                return;
            if (request && m_requestId != *request)
                return;
            m_retiring = true;
        }
        if (m_process->isRunning())
            m_process->signal(SIGTERM);
        std::shared_ptr<Child> self = shared_from_this();
        m_timers.schedule(killDelay, [self] {
            if (self->m_process->isRunning())
                self->m_process->signal(SIGKILL);
        });
    }

private:
    const std::unique_ptr<OCRWorkerProcess> m_process;
    DelayedExecutor& m_timers;
    std::mutex m_lock; // guards m_retiring and m_requestId
    bool m_retiring = false;
    std::optional<QUuid> m_requestId;
};

OCRHelperSession::OCRHelperSession(std::optional<QString> executable, QStringList arguments, DelayedExecutor* timers)
    : m_executable(std::move(executable))
    , m_arguments(std::move(arguments))
    , m_timers(timers ? *timers : UtilityQueue::shared())
{
}

OCRHelperSession::~OCRHelperSession()
{
    if (m_child) {
        m_child->retire(std::nullopt);
        m_child->process().closePipes();
        m_child.reset();
    }
}

std::optional<QString> OCRHelperSession::executableIn(const QString& directory)
{
    if (directory.isEmpty())
        return std::nullopt;
    const QString path = QDir(directory).absoluteFilePath(workerProgramName());
    struct stat info {};
    const QByteArray encoded = QFile::encodeName(path);
    if (::stat(encoded.constData(), &info) != 0 || !S_ISREG(info.st_mode) || ::access(encoded.constData(), X_OK) != 0)
        return std::nullopt;
    return path;
}

QString OCRHelperSession::workerDirectory(const QString& appDirectory)
{
    return QDir::cleanPath(appDirectory + QLatin1Char('/') + QStringLiteral(TOLVI_WORKER_DIRECTORY_FROM_APP));
}

std::optional<QString> OCRHelperSession::bundledExecutable()
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (self.isEmpty())
        return std::nullopt;
    return executableIn(workerDirectory(QFileInfo(self).absolutePath()));
}

pid_t OCRHelperSession::workerProcessId() const
{
    return m_child ? m_child->process().pid() : 0;
}

void OCRHelperSession::dropChild(bool retireFirst)
{
    if (!m_child)
        return;
    if (retireFirst)
        m_child->retire(std::nullopt);
    m_child->process().waitForExit();
    m_child->process().closePipes();
    m_child.reset();
}

std::shared_ptr<OCRHelperSession::Child> OCRHelperSession::obtainChild()
{
    if (m_child && !m_child->process().isRunning())
        dropChild(false); // ended by itself or from outside: reap it and start afresh
    if (m_child)
        return m_child;
    if (!m_executable)
        return nullptr;
    auto process = OCRWorkerProcess::launch(*m_executable, m_arguments);
    if (!process)
        return nullptr;
    m_child = std::make_shared<Child>(std::move(process), m_timers);
    return m_child;
}

Outcome OCRHelperSession::recognize(const QByteArray& data, ImageOCRService::Cancellation& cancellation)
{
    if (cancellation.outcome())
        return Outcome::of(Outcome::Kind::cancelled);

    const std::shared_ptr<Child> child = obtainChild();
    if (!child)
        return Outcome::of(Outcome::Kind::failed);

    const QUuid id = QUuid::createUuid();
    if (!child->beginRequest(id)) {
        dropChild(true);
        return Outcome::of(Outcome::Kind::failed);
    }

    std::weak_ptr<Child> weakChild = child;
    const bool cancelRequested = cancellation.installCancelRequest([weakChild, id] {
        if (auto strong = weakChild.lock())
            strong->retire(id);
    });
    if (cancelRequested)
        child->retire(id);
    if (cancellation.outcome()) {
        dropChild(true);
        return Outcome::of(Outcome::Kind::cancelled);
    }

    std::optional<Outcome> outcome;
    bool alwaysRetire = false;
    if (!OCRWire::writeFrame(data, child->process().inputFd(), OCRRasterPolicy::maximumBytes)) {
        const OCRWire::FrameRead reply = OCRWire::readFrame(child->process().outputFd(), OCRWire::maximumResponseBytes);
        if (reply.payload) {
            if (const auto response = OCRWire::decodeResponse(*reply.payload)) {
                using Kind = OCRWire::Response::Kind;
                switch (response->kind) {
                case Kind::noText:
                    outcome = Outcome::of(Outcome::Kind::noText);
                    break;
                case Kind::failed:
                    outcome = Outcome::of(Outcome::Kind::failed);
                    alwaysRetire = true;
                    break;
                case Kind::unsupportedImage:
                    outcome = Outcome::of(Outcome::Kind::unsupportedImage);
                    alwaysRetire = true;
                    break;
                case Kind::recognized:
                    // Usable text only: present, not blank, within the reply limit; kept exactly
                    // as the worker sent it.
                    if (response->text && !response->text->trimmed().isEmpty()
                        && response->text->toUtf8().size() <= OCRWire::maximumResponseBytes)
                        outcome = Outcome::recognized(*response->text);
                    break;
                }
            }
        }
    }

    if (!outcome) {
        // A wire error, a missing or undecodable reply, or unusable text.
        dropChild(true);
        return Outcome::of(Outcome::Kind::failed);
    }
    const bool completed = child->completeRequest(id);
    if (alwaysRetire || !completed || cancellation.outcome())
        dropChild(true);
    return *outcome;
}

} // namespace tolvi
