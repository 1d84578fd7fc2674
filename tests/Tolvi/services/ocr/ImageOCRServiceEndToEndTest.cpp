// The whole OCR client against the real Tesseract worker: the coordinator, the worker
// process handle and the delivery of the outcome on the main thread.

#include "OCRTextImages.h"
#include "Tolvi/services/ocr/ImageOCRService.h"
#include "Tolvi/services/ocr/OCRHelperSession.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <memory>

using namespace tolvi;
using namespace tolvi::ImageOCRService;
using Kind = Outcome::Kind;

namespace {

const QString realWorker = QStringLiteral(TOLVI_OCR_WORKER_PATH);

struct Delivery {
    std::optional<Outcome> outcome;
    QThread* thread = nullptr;
};

std::function<void(Outcome)> collect(Delivery& delivery)
{
    return [&delivery](Outcome outcome) {
        delivery.outcome = outcome;
        delivery.thread = QThread::currentThread();
    };
}

void waitFor(const Delivery& delivery, int milliseconds = 20'000)
{
    QElapsedTimer timer;
    timer.start();
    while (!delivery.outcome && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

TEST(ImageOCRServiceEndToEnd, RecognisesARenderedImageAndDeliversOnTheMainThread)
{
    Coordinator coordinator;
    OCRHelperSession session(realWorker);
    QObject context;
    const QByteArray png = tolvi::testing::encode(
        tolvi::testing::renderLines({QStringLiteral("Shipping address"), QStringLiteral("42 Harbour Street")}));

    Delivery first;
    recognizeOutcome(png, coordinator, session, &context, collect(first));
    waitFor(first);
    ASSERT_TRUE(first.outcome);
    EXPECT_EQ(*first.outcome, Outcome::recognized(QStringLiteral("Shipping address\n42 Harbour Street")));
    EXPECT_EQ(first.thread, QCoreApplication::instance()->thread());
    const pid_t worker = session.workerProcessId();
    EXPECT_GT(worker, 0);

    // A blank image: noText, and the same worker stays for the next image.
    QImage blank(200, 100, QImage::Format_RGB32);
    blank.fill(Qt::white);
    Delivery second;
    recognizeOutcome(tolvi::testing::encode(blank), coordinator, session, &context, collect(second));
    waitFor(second);
    EXPECT_EQ(second.outcome, Outcome::of(Kind::noText));
    EXPECT_EQ(session.workerProcessId(), worker);
}

TEST(ImageOCRServiceEndToEnd, RefusedBytesNeverReachTheWorker)
{
    Coordinator coordinator;
    OCRHelperSession session(realWorker);
    QObject context;
    Delivery delivery;
    recognizeOutcome(QByteArray("BM not really an image"), coordinator, session, &context, collect(delivery));
    EXPECT_FALSE(delivery.outcome); // delivered through the event loop, never synchronously
    waitFor(delivery);
    EXPECT_EQ(delivery.outcome, Outcome::of(Kind::unsupportedImage));
    EXPECT_EQ(session.workerProcessId(), 0);
}

TEST(ImageOCRServiceEndToEnd, NothingIsDeliveredToAReceiverThatIsGone)
{
    Coordinator coordinator;
    OCRHelperSession session(realWorker);
    auto context = std::make_unique<QObject>();
    Delivery delivery;
    recognizeOutcome(tolvi::testing::encode(tolvi::testing::renderLines({QStringLiteral("gone")})), coordinator, session,
                     context.get(), collect(delivery));
    context.reset();
    // Give the request time to finish and its delivery time to be dropped.
    Delivery marker;
    QObject other;
    recognizeOutcome(tolvi::testing::encode(tolvi::testing::renderLines({QStringLiteral("after")})), coordinator, session, &other,
                     collect(marker));
    QElapsedTimer timer;
    timer.start();
    while ((!marker.outcome || marker.outcome->kind == Kind::busy) && timer.elapsed() < 20'000) {
        if (marker.outcome && marker.outcome->kind == Kind::busy) {
            marker.outcome.reset();
            recognizeOutcome(tolvi::testing::encode(tolvi::testing::renderLines({QStringLiteral("after")})), coordinator, session,
                             &other, collect(marker));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(marker.outcome, Outcome::recognized(QStringLiteral("after")));
    EXPECT_FALSE(delivery.outcome);
}

