// Image fingerprints worked out when images are compared: images loaded from the history file,
// de-duplication of new copies against them and the OCR bookkeeping keyed by fingerprint.

#include "StoreTestSupport.h"

#include "TolviCore/model/Sha256.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <thread>
#include <vector>

using namespace tolvi;
using namespace tolvi::testing;

namespace {

using Status = ClipboardStore::OCRStatus;

constexpr qsizetype imageSize = 100'000;

QByteArray noise(quint32 seed)
{
    QByteArray bytes(imageSize, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), imageSize / 4);
    return bytes;
}

// The same bytes but for one byte that the quick key does not read (it reads the first and last
// 4 KiB and a few slices between them).
QByteArray withUnsampledByteChanged(QByteArray bytes)
{
    bytes[5000] = char(bytes[5000] ^ 0x5a);
    return bytes;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

struct LoadedImagesFixture : ::testing::Test {
    QTemporaryDir folder;
    QString path;
    const QByteArray first = noise(1);
    const QByteArray second = noise(2);
    const QUuid board = DefaultPinboards::all().first().id();
    // Oldest first: the first image twice (an older file may hold one image in two clips), a
    // text, the second image pinned to a board with recognised text.
    QList<ClipboardItem> written;

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        path = folder.filePath(QStringLiteral("Tolvi/history.json"));
        written = {
            ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image(second, QStringLiteral("scanned"))), 40,
                          true, {board}),
            textItem(QStringLiteral("a text"), 30),
            ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image(first)), 20),
            ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image(first)), 10),
        };
        FileClipboardHistoryPersistence(path).save(ClipboardHistoryState{written, DefaultPinboards::all()});
    }

    std::unique_ptr<ClipboardStore> loadedStore()
    {
        FileClipboardHistoryPersistence::Options options;
        options.mainExecutor = [](std::function<void()>) {};
        auto persistence = std::make_shared<FileClipboardHistoryPersistence>(path, options);
        return std::make_unique<ClipboardStore>(persistence, unlimitedConfiguration());
    }
};

const ClipboardImage& imageAt(const ClipboardStore& store, qsizetype index)
{
    return store.itemAt(index).content().imageValue();
}

} // namespace

TEST(ClipboardImageFingerprint, IsTheSha256OfTheBytesWorkedOutOnceForAllCopies)
{
    const QByteArray bytes = noise(7);
    const ClipboardImage original(bytes, QStringLiteral("public.png"));
    const ClipboardImage copy = original;
    ClipboardImage moved = ClipboardImage(original);
    const ClipboardImage movedTo = std::move(moved);
    EXPECT_FALSE(original.hasFingerprint());

    // Asked for on several threads at once, it is computed once and the same everywhere.
    std::vector<QString> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] { seen[i] = copy.fingerprint(); });
    for (std::thread& thread : threads)
        thread.join();
    const QString expected = Sha256::hexDigest(bytes);
    for (const QString& fingerprint : seen)
        EXPECT_EQ(fingerprint, expected);
    EXPECT_TRUE(original.hasFingerprint());
    EXPECT_TRUE(movedTo.hasFingerprint());
    EXPECT_EQ(original.fingerprint().constData(), copy.fingerprint().constData());
    // A moved-from image keeps its bytes.
    EXPECT_EQ(moved.data(), bytes);

    // New bytes, new fingerprint; an independent image of equal bytes agrees.
    ClipboardImage changed = original;
    changed.setData(noise(8));
    EXPECT_FALSE(changed.hasFingerprint());
    EXPECT_EQ(changed.fingerprint(), Sha256::hexDigest(noise(8)));
    EXPECT_EQ(original.fingerprint(), expected);
    EXPECT_EQ(ClipboardImage(QByteArray(bytes.constData(), bytes.size()), QString()).fingerprint(), expected);
}

TEST(ClipboardImageFingerprint, SameFingerprintIsDecidedLikeComparingFingerprints)
{
    const QByteArray bytes = noise(3);
    const ClipboardImage a(bytes, QStringLiteral("public.png"));
    const ClipboardImage equal(QByteArray(bytes.constData(), bytes.size()), QStringLiteral("public.tiff"));
    const ClipboardImage nearlyEqual(withUnsampledByteChanged(bytes), QStringLiteral("public.png"));
    const ClipboardImage otherSize(bytes.left(imageSize - 1), QStringLiteral("public.png"));
    ASSERT_EQ(a.quickKey(), nearlyEqual.quickKey());
    EXPECT_NE(a.quickKey(), otherSize.quickKey());

    EXPECT_TRUE(a.hasSameFingerprint(equal));
    EXPECT_FALSE(a.hasSameFingerprint(nearlyEqual));
    EXPECT_FALSE(a.hasSameFingerprint(otherSize));
    EXPECT_FALSE(otherSize.hasFingerprint()); // told apart by the quick key alone
    EXPECT_EQ(a.hasSameFingerprint(nearlyEqual), a.fingerprint() == nearlyEqual.fingerprint());

    // Small images are keyed by all their bytes.
    EXPECT_NE(ClipboardImage(QByteArray("\x89PNG a"), QString()).quickKey(),
              ClipboardImage(QByteArray("\x89PNG b"), QString()).quickKey());
    EXPECT_FALSE(a == ClipboardImage(nearlyEqual.data(), QStringLiteral("public.png")));
    EXPECT_TRUE(a == ClipboardImage(equal.data(), QStringLiteral("public.png")));
}

TEST_F(LoadedImagesFixture, LoadingHashesNoImageAndAnEqualCopyFoldsIntoTheStoredOne)
{
    std::unique_ptr<ClipboardStore> store = loadedStore();
    ASSERT_EQ(store->itemCount(), 4);
    for (qsizetype i : {0, 2, 3})
        EXPECT_FALSE(imageAt(*store, i).hasFingerprint()) << i;

    // A different image of the same byte count is a new clip, and hashes none of the stored ones.
    ASSERT_TRUE(store->record(ClipboardContent::image(image(noise(9))), 50));
    EXPECT_EQ(store->itemCount(), 5);
    for (qsizetype i : {0, 1, 3, 4})
        EXPECT_FALSE(imageAt(*store, i).hasFingerprint()) << i;

    // One that only differs where the quick key does not look is compared by fingerprint, and is
    // a new clip as well.
    ASSERT_TRUE(store->record(ClipboardContent::image(image(withUnsampledByteChanged(second))), 60));
    EXPECT_EQ(store->itemCount(), 6);

    // The pinned image copied again takes the place of the stored one with its pin, board and
    // recognised text.
    ASSERT_TRUE(store->record(ClipboardContent::image(image(QByteArray(second.constData(), second.size()))), 70));
    EXPECT_EQ(store->itemCount(), 6);
    const ClipboardItem& folded = store->itemAt(0);
    EXPECT_TRUE(folded.isPinned());
    EXPECT_EQ(folded.pinboardIDs(), QList<QUuid>{board});
    EXPECT_EQ(folded.createdAt(), 70);
    EXPECT_EQ(folded.content().imageValue().recognizedText(), QStringLiteral("scanned"));
    EXPECT_EQ(folded.content().imageValue().data(), second);

    // The image held twice: both clips give way to the new copy.
    ASSERT_TRUE(store->record(ClipboardContent::image(image(QByteArray(first.constData(), first.size()))), 80));
    EXPECT_EQ(store->itemCount(), 5);
    qsizetype withFirst = 0;
    for (const ClipboardItem& item : store->items())
        withFirst += item.content().isImage() && item.content().imageValue().data() == first;
    EXPECT_EQ(withFirst, 1);
}

TEST_F(LoadedImagesFixture, OCRBookkeepingFindsLoadedImagesByFingerprint)
{
    std::unique_ptr<ClipboardStore> store = loadedStore();
    const QString firstPrint = Sha256::hexDigest(first);
    const QString secondPrint = Sha256::hexDigest(second);
    const QString absent = Sha256::hexDigest(withUnsampledByteChanged(first));

    // Statuses only for images the history holds, whichever way the fingerprint was come by.
    store->setOCRStatus(Status::noText, firstPrint);
    store->setOCRStatus(Status::failed, absent);
    EXPECT_EQ(store->ocrStatuses(), (QHash<QString, Status>{{firstPrint, Status::noText}}));

    // Text without a clip goes to the first clip in the list with the image, and only to it.
    store->updateRecognizedText(QStringLiteral("found"), firstPrint);
    EXPECT_EQ(imageAt(*store, 2).recognizedText(), QStringLiteral("found"));
    EXPECT_FALSE(imageAt(*store, 3).recognizedText().has_value());
    EXPECT_EQ(imageAt(*store, 0).recognizedText(), QStringLiteral("scanned"));
    // With a clip, to that clip when it carries the image.
    const QUuid older = store->itemAt(3).id();
    store->updateRecognizedText(QStringLiteral("older"), firstPrint, older);
    store->updateRecognizedText(QStringLiteral("wrong"), secondPrint, older);
    EXPECT_EQ(imageAt(*store, 3).recognizedText(), QStringLiteral("older"));
    EXPECT_EQ(imageAt(*store, 0).recognizedText(), QStringLiteral("scanned"));

    // A request finishes on the clip it was begun for.
    const QUuid pinned = store->itemAt(0).id();
    const std::optional<QUuid> token = store->beginOCR(pinned);
    ASSERT_TRUE(token);
    EXPECT_TRUE(store->ocrInProgress().contains(secondPrint));
    store->finishOCR(*token, secondPrint, std::nullopt, QStringLiteral("read again"));
    EXPECT_EQ(imageAt(*store, 0).recognizedText(), QStringLiteral("read again"));
    EXPECT_FALSE(store->ocrInProgress().contains(secondPrint));

    // The status stays while any clip holds the image and goes with the last one.
    const ClipboardItem newer = store->itemAt(2);
    store->remove(newer);
    EXPECT_TRUE(store->ocrStatuses().contains(firstPrint));
    const ClipboardItem last = store->itemAt(2);
    store->remove(last);
    EXPECT_FALSE(store->ocrStatuses().contains(firstPrint));
}

TEST_F(LoadedImagesFixture, StatusOfAnImageHeldTwiceSurvivesEitherClipGoingAfterALoad)
{
    // The status is set through one clip's fingerprint; the other clip's image is not hashed yet
    // when the first goes.
    std::unique_ptr<ClipboardStore> store = loadedStore();
    const QString firstPrint = Sha256::hexDigest(first);
    const std::optional<QUuid> token = store->beginOCR(store->itemAt(2).id());
    ASSERT_TRUE(token);
    store->finishOCR(*token, firstPrint, Status::noText, std::nullopt);
    ASSERT_EQ(store->ocrStatuses().value(firstPrint), Status::noText);
    EXPECT_FALSE(imageAt(*store, 3).hasFingerprint());

    const ClipboardItem newer = store->itemAt(2);
    store->remove(newer);
    EXPECT_EQ(store->ocrStatuses().value(firstPrint), Status::noText);
    store->clear();
    EXPECT_TRUE(store->ocrStatuses().isEmpty());
}

TEST_F(LoadedImagesFixture, AnImagesOCRStateIsAskedWithoutItsFingerprintUnlessAnImageLikeItHasSome)
{
    std::unique_ptr<ClipboardStore> store = loadedStore();
    const QString firstPrint = Sha256::hexDigest(first);
    // Nothing under way: no image needs its fingerprint.
    EXPECT_FALSE(store->ocrStatusOf(imageAt(*store, 0)).has_value());
    EXPECT_FALSE(store->isRecognizing(imageAt(*store, 3)));
    EXPECT_FALSE(imageAt(*store, 0).hasFingerprint());
    EXPECT_FALSE(imageAt(*store, 3).hasFingerprint());

    // Under way for the first image, through one of its two clips.
    const std::optional<QUuid> token = store->beginOCR(store->itemAt(2).id());
    ASSERT_TRUE(token);
    // The second image cannot be it (another quick key): still not hashed.
    EXPECT_FALSE(store->isRecognizing(imageAt(*store, 0)));
    EXPECT_FALSE(store->ocrStatusOf(imageAt(*store, 0)).has_value());
    EXPECT_FALSE(imageAt(*store, 0).hasFingerprint());
    // The other clip's copy of the first image, not hashed yet, is found.
    EXPECT_TRUE(store->isRecognizing(imageAt(*store, 3)));
    EXPECT_EQ(store->ocrStatusOf(imageAt(*store, 3)), Status::processing);
    // Bytes that differ where the quick key does not look are not it.
    const ClipboardImage lookalike(withUnsampledByteChanged(first), QStringLiteral("public.png"));
    EXPECT_FALSE(store->isRecognizing(lookalike));
    EXPECT_FALSE(store->ocrStatusOf(lookalike).has_value());

    store->finishOCR(*token, firstPrint, Status::noText, std::nullopt);
    EXPECT_EQ(store->ocrStatusOf(imageAt(*store, 3)), Status::noText);
    EXPECT_FALSE(store->isRecognizing(imageAt(*store, 2)));
    EXPECT_FALSE(imageAt(*store, 0).hasFingerprint());

    // Gone with the last clip that held it: its status no longer answers for a lookalike either.
    store->remove(store->itemAt(3));
    store->remove(store->itemAt(2));
    EXPECT_FALSE(store->ocrStatusOf(ClipboardImage(first, QStringLiteral("public.png"))).has_value());
}

TEST_F(LoadedImagesFixture, HistoryFileLoadsAndSavesByteForByte)
{
    const QByteArray before = contentOf(path);
    FileClipboardHistoryPersistence persistence(path);
    const ClipboardHistoryState loaded = persistence.load();
    ASSERT_EQ(loaded.items.size(), written.size());
    for (qsizetype i = 0; i < written.size(); ++i)
        EXPECT_EQ(loaded.items[i], written[i]) << i;
    persistence.save(loaded);
    EXPECT_EQ(contentOf(path), before);

    // And through the store: a clip recorded and removed again leaves the same file.
    {
        std::unique_ptr<ClipboardStore> store = loadedStore();
        ASSERT_TRUE(store->record(QStringLiteral("for a moment"), 100));
        const ClipboardItem recorded = store->itemAt(1);
        ASSERT_EQ(recorded.content().textValue(), QStringLiteral("for a moment"));
        store->remove(recorded);
        store->flushPersistence();
    }
    EXPECT_EQ(contentOf(path), before);
}
