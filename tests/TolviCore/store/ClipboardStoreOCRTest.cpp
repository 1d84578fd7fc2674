// OCR bookkeeping: tokens, statuses, the in-progress set and pruning.

#include "StoreTestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

using Status = ClipboardStore::OCRStatus;

struct OCRFixture : ::testing::Test {
    std::shared_ptr<FakeSyncPersistence> persistence = std::make_shared<FakeSyncPersistence>();
    std::unique_ptr<ClipboardStore> store = std::make_unique<ClipboardStore>(persistence, unlimitedConfiguration());
    const QByteArray bytes = QByteArray("\x89PNG image bytes");
    QString fingerprint;

    ClipboardItem recordImage(double at, const QByteArray& data)
    {
        EXPECT_TRUE(store->record(ClipboardContent::image(image(data)), at));
        return store->itemAt(0);
    }

    void SetUp() override { fingerprint = ClipboardImage(bytes, QStringLiteral("public.png")).fingerprint(); }
};

} // namespace

TEST_F(OCRFixture, BeginRefusesTextUnknownAndRunningRequests)
{
    ASSERT_TRUE(store->record(QStringLiteral("text"), 1));
    EXPECT_FALSE(store->beginOCR(store->itemAt(0).id()).has_value());
    EXPECT_FALSE(store->beginOCR(QUuid::createUuid()).has_value());

    const ClipboardItem picture = recordImage(2, bytes);
    QSignalSpy statusSpy(store.get(), &ClipboardStore::ocrStatusesChanged);
    QSignalSpy progressSpy(store.get(), &ClipboardStore::ocrInProgressChanged);
    const auto token = store->beginOCR(picture.id());
    ASSERT_TRUE(token.has_value());
    EXPECT_EQ(store->ocrStatuses().value(fingerprint), Status::processing);
    EXPECT_TRUE(store->ocrInProgress().contains(fingerprint));
    EXPECT_EQ(statusSpy.count(), 1);
    EXPECT_EQ(progressSpy.count(), 1);
    EXPECT_FALSE(store->beginOCR(picture.id()).has_value());

    store->finishOCR(*token, fingerprint, Status::noText, std::nullopt);
    EXPECT_EQ(store->ocrStatuses().value(fingerprint), Status::noText);
    EXPECT_FALSE(store->ocrInProgress().contains(fingerprint));
    const auto second = store->beginOCR(picture.id());
    ASSERT_TRUE(second.has_value());
    EXPECT_NE(*second, *token);

    // The old token is ignored.
    store->finishOCR(*token, fingerprint, Status::failed, QStringLiteral("stale"));
    EXPECT_EQ(store->ocrStatuses().value(fingerprint), Status::processing);
    EXPECT_FALSE(store->itemAt(0).content().imageValue().recognizedText().has_value());
}

TEST_F(OCRFixture, TextGoesOnlyToTheAskingClipWhichKeepsItsPlace)
{
    const ClipboardItem picture = recordImage(5, bytes);
    ASSERT_TRUE(store->record(QStringLiteral("newer"), 9));
    const auto token = store->beginOCR(picture.id());
    ASSERT_TRUE(token.has_value());
    persistence->saves.clear();
    store->finishOCR(*token, fingerprint, std::nullopt, QStringLiteral(" Hello\n"));
    EXPECT_EQ(texts(store->items()), (QStringList{"newer", "<image>"}));
    EXPECT_EQ(store->itemAt(1).content().imageValue().recognizedText(), QStringLiteral(" Hello\n"));
    EXPECT_EQ(store->itemAt(1).content().imageValue().fingerprint(), fingerprint);
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));
    EXPECT_FALSE(store->ocrInProgress().contains(fingerprint));
    EXPECT_EQ(persistence->saves.size(), 1);
}

TEST_F(OCRFixture, BlankTextIsNotStoredButTheStatusIs)
{
    const ClipboardItem picture = recordImage(5, bytes);
    const auto token = store->beginOCR(picture.id());
    store->finishOCR(*token, fingerprint, Status::noText, QStringLiteral("  \t"));
    EXPECT_FALSE(store->itemAt(0).content().imageValue().recognizedText().has_value());
    EXPECT_EQ(store->ocrStatuses().value(fingerprint), Status::noText);
}

TEST_F(OCRFixture, RemovingTheClipDropsItsRequestAndStatusAtOnce)
{
    const ClipboardItem picture = recordImage(5, bytes);
    const auto token = store->beginOCR(picture.id());
    store->remove(picture);
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));
    EXPECT_FALSE(store->ocrInProgress().contains(fingerprint));
    store->finishOCR(*token, fingerprint, Status::noText, QStringLiteral("late"));
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));
    EXPECT_EQ(store->itemCount(), 0);
}

TEST_F(OCRFixture, RecordingTheSameImageAgainDropsTheRunningRequest)
{
    const ClipboardItem picture = recordImage(5, bytes);
    const auto token = store->beginOCR(picture.id());
    const ClipboardItem again = recordImage(6, bytes);
    ASSERT_NE(again.id(), picture.id());
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));
    EXPECT_FALSE(store->ocrInProgress().contains(fingerprint));
    store->finishOCR(*token, fingerprint, Status::noText, QStringLiteral("late text"));
    EXPECT_FALSE(store->itemAt(0).content().imageValue().recognizedText().has_value());
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));
    // A new request for the new clip may start.
    EXPECT_TRUE(store->beginOCR(again.id()).has_value());
}

TEST_F(OCRFixture, StatusesFollowTheImagesLeavingTheHistory)
{
    const ClipboardItem first = recordImage(1, bytes);
    const ClipboardItem other = recordImage(2, QByteArray("other image"));
    const QString otherPrint = other.content().imageValue().fingerprint();
    store->setOCRStatus(Status::timedOut, fingerprint);
    store->setOCRStatus(Status::busy, otherPrint);
    // A status for an image the history does not hold is ignored.
    store->setOCRStatus(Status::failed, QStringLiteral("0000"));
    EXPECT_EQ(store->ocrStatuses().size(), 2);

    ClipboardStore::Configuration configuration = store->configuration();
    store->updateRecentLimit(1, true);
    EXPECT_EQ(store->itemCount(), 1);
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));
    EXPECT_EQ(store->ocrStatuses().value(otherPrint), Status::busy);
    store->clear();
    EXPECT_TRUE(store->ocrStatuses().isEmpty());
    Q_UNUSED(first);
    Q_UNUSED(configuration);
}

TEST_F(OCRFixture, ProcessingFlagTogglesWithoutLosingAFinalStatus)
{
    recordImage(1, bytes);
    store->setOCRProcessing(true, fingerprint);
    EXPECT_EQ(store->ocrStatuses().value(fingerprint), Status::processing);
    EXPECT_TRUE(store->ocrInProgress().contains(fingerprint));
    store->setOCRProcessing(false, fingerprint);
    EXPECT_FALSE(store->ocrStatuses().contains(fingerprint));
    EXPECT_FALSE(store->ocrInProgress().contains(fingerprint));

    store->setOCRStatus(Status::cancelled, fingerprint);
    store->setOCRProcessing(false, fingerprint);
    EXPECT_EQ(store->ocrStatuses().value(fingerprint), Status::cancelled);
}

TEST_F(OCRFixture, TextIsNotStoredAfterAFailedLoad)
{
    persistence = std::make_shared<FakeSyncPersistence>();
    persistence->failLoad = true;
    store = std::make_unique<ClipboardStore>(persistence, unlimitedConfiguration());
    store->updateRecognizedText(QStringLiteral("text"), fingerprint);
    EXPECT_EQ(store->itemCount(), 0);
    EXPECT_TRUE(persistence->saves.isEmpty());
}
