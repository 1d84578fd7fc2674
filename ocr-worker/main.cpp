// TolviOCRWorker: recognises the text of one image per request. Started by Tolvi with pipes
// on its standard input and output; reads no arguments and no environment, writes nothing
// to standard error, keeps no files. See WorkerLoop.h for the request loop.

#include "ocr-protocol/OCRRasterPolicy.h"
#include "ocr-worker/TextRecognizer.h"
#include "ocr-worker/WorkerLoop.h"

#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

void silentMessageHandler(QtMsgType, const QMessageLogContext&, const QString&) {}

pid_t originalParent = 0;
// A descriptor of the parent process, readable once it has ended; -1 where the kernel offers
// none (before Linux 5.3, or refused by a sandbox).
int parentDescriptor = -1;

// Ends the process as soon as the program that started it is gone, also in the middle of a
// recognition. Sleeps on the parent's descriptor, so an idle worker never wakes; without one,
// looks once a second whether the worker was handed to another reaper (its parent pid changed).
void* watchParent(void*)
{
    if (parentDescriptor >= 0) {
        pollfd parent{parentDescriptor, POLLIN, 0};
        for (;;) {
            const int ready = poll(&parent, 1, -1);
            if (ready > 0)
                _exit(tolvi::OCRWorker::exitNormal);
            if (ready < 0 && errno != EINTR)
                break;
        }
    }
    for (;;) {
        timespec second{1, 0};
        while (nanosleep(&second, &second) != 0) {
        }
        if (getppid() != originalParent)
            _exit(tolvi::OCRWorker::exitNormal);
    }
    return nullptr;
}

} // namespace

int main()
{
    using namespace tolvi;

    originalParent = getppid();
    if (originalParent < 2)
        return OCRWorker::exitNormal;
#ifdef SYS_pidfd_open
    parentDescriptor = int(syscall(SYS_pidfd_open, originalParent, 0));
    // Still our parent once opened: the descriptor names it, not a process that took its pid
    // after it ended.
    if (parentDescriptor >= 0 && getppid() != originalParent)
        return OCRWorker::exitNormal;
#endif

    // A reader that went away turns a write into an error, never a signal.
    std::signal(SIGPIPE, SIG_IGN);
    // Standard error stays silent: Qt's messages go nowhere, and what the image libraries
    // print on their own (libpng writes its errors straight to descriptor 2) goes to the null
    // device.
    qInstallMessageHandler(silentMessageHandler);
    const int nullDevice = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nullDevice >= 0) {
        if (nullDevice != STDERR_FILENO) {
            dup2(nullDevice, STDERR_FILENO);
            close(nullDevice);
        }
    }

    pthread_t watchdog;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attributes, 64 * 1024);
    if (pthread_create(&watchdog, &attributes, watchParent, nullptr) == 0)
        pthread_setname_np(watchdog, "parent-watch");
    pthread_attr_destroy(&attributes);

    OCRRasterPolicy::ensureDecoderAllocationLimit();
    TextRecognizer recognizer;
    recognizer.initialize();

    return OCRWorker::run(STDIN_FILENO, STDOUT_FILENO, [&recognizer](QByteArrayView bytes) {
        using Kind = OCRWire::Response::Kind;
        if (!OCRRasterPolicy::metadata(bytes))
            return OCRWire::Response{Kind::unsupportedImage, std::nullopt};
        if (!recognizer.isReady())
            return OCRWire::Response{Kind::failed, std::nullopt};
        const QImage image = OCRRasterPolicy::validatedImage(bytes);
        if (image.isNull())
            return OCRWire::Response{Kind::failed, std::nullopt};
        const auto text = recognizer.recognize(image, TextRecognizer::Mode::lines);
        if (!text)
            return OCRWire::Response{Kind::failed, std::nullopt};
        return OCRWorker::recognizedResponse(*text);
    });
}
