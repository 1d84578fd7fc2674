// Reading the history file through a mapping, and its images on several threads: what another
// program or a save does to the file meanwhile, and that the parallel decoding reads, refuses and
// reports exactly as decoding in place does.
#include "SampleHistory.h"
#include "TestFiles.h"

#include "TolviCore/model/Sha256.h"
#include "TolviCore/persistence/Base64.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"
#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/persistence/MappedFile.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace tolvi;
using namespace tolvi::samples;

namespace {

struct OpenFile {
    int fd = -1;
    explicit OpenFile(const QString& path)
    {
        if (!path.isEmpty())
            fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    }
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

// Reads every byte, as a parser would.
void readAll(const MappedFile& file)
{
    const volatile char* bytes = file.data();
    for (std::size_t i = 0; i < file.capacity(); ++i)
        (void)bytes[i];
}

// Clips with images large enough to be decoded on the pool, between small ones and texts.
ClipboardHistoryState historyWithLargeImages()
{
    ClipboardHistoryState state = sampleHistory();
    for (int i = 0; i < 12; ++i) {
        const qsizetype size = 60'000 + i * 37'001; // every remainder of three, past the pool's threshold
        state.items.append(ClipboardItem(
            QUuid::createUuid(),
            ClipboardContent::image(ClipboardImage(randomBytes(size, static_cast<quint32>(i)), QStringLiteral("public.png"),
                                                   i + 1, i + 2, i % 2 ? std::optional<QString>(QStringLiteral("seen")) : std::nullopt)),
            100.0 - i));
        state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("between %1").arg(i), 50.0 - i));
    }
    return state;
}

class MappedHistoryTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.filePath(QStringLiteral("Tolvi")); }
    QString historyPath() const { return folder() + QStringLiteral("/history.json"); }

    std::unique_ptr<FileClipboardHistoryPersistence> makePersistence(std::function<void()> beforeDecoding = {})
    {
        FileClipboardHistoryPersistence::Options options;
        options.mainExecutor = [](std::function<void()> task) { task(); };
        options.unixSecondsNow = [] { return qint64(1'700'000'000); };
        options.beforeDecoding = std::move(beforeDecoding);
        return std::make_unique<FileClipboardHistoryPersistence>(historyPath(), options);
    }

    QStringList corruptCopies() const
    {
        QStringList copies;
        for (const QString& name : entries(folder())) {
            if (name.startsWith(QLatin1String("history.corrupt-")))
                copies.append(name);
        }
        return copies;
    }
};

QString historyFileError(const QByteArray& json)
{
    try {
        HistoryJsonCodec::decodeHistoryFile(JsonInput::copyOf(json));
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.kind(), PersistenceError::Kind::decoding);
        return error.message();
    }
    ADD_FAILURE() << "decoding succeeded";
    return QString();
}

} // namespace

TEST(MappedFile, HoldsTheFileFollowedByZeroPaddingAtEveryPageBoundary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f"));
    const long page = ::sysconf(_SC_PAGESIZE);
    for (qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(page - 64), qsizetype(page - 1), qsizetype(page),
                           qsizetype(3 * page + 17)}) {
        const QByteArray content = size ? randomBytes(size, 3) : QByteArray();
        writeFile(path, content);
        OpenFile file(path);
        std::optional<MappedFile> mapped = MappedFile::map(file.fd, 64);
        ASSERT_TRUE(mapped.has_value()) << size;
        ASSERT_EQ(mapped->size(), static_cast<std::size_t>(size));
        ASSERT_GE(mapped->capacity(), mapped->size() + 64);
        EXPECT_EQ(QByteArray(mapped->data(), size), content) << size;
        EXPECT_EQ(QByteArray(mapped->data() + size, 64), QByteArray(64, '\0')) << size;
        EXPECT_FALSE(mapped->changedWhileRead());
        // Given-back pages come back from the file.
        mapped->release(mapped->data(), mapped->data() + mapped->size());
        EXPECT_EQ(QByteArray(mapped->data(), size), content) << size;
    }
}

TEST(MappedFile, OnlyRegularFilesAreMapped)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    EXPECT_FALSE(MappedFile::map(pipeFds[0], 64).has_value());
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST(MappedFile, AFileReplacedByARenameKeepsWhatWasMapped)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.json"));
    const QByteArray before = randomBytes(50'000, 1);
    writeFile(path, before);
    OpenFile file(path);
    std::optional<MappedFile> mapped = MappedFile::map(file.fd, 64);
    ASSERT_TRUE(mapped.has_value());
    PrivateAtomicFileWriter::write(randomBytes(20'000, 2), path);
    EXPECT_EQ(QByteArray(mapped->data(), static_cast<qsizetype>(mapped->size())), before);
    EXPECT_FALSE(mapped->changedWhileRead());
}

TEST(MappedFile, AFileCutShortWhileMappedReadsAsZerosAndSaysSo)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.json"));
    const long page = ::sysconf(_SC_PAGESIZE);
    const QByteArray before = randomBytes(5 * page + 100, 4);
    writeFile(path, before);
    OpenFile file(path);
    std::optional<MappedFile> mapped = MappedFile::map(file.fd, 64);
    ASSERT_TRUE(mapped.has_value());
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), page + 10), 0);
    // Reading past the new end would have ended the process with SIGBUS.
    readAll(*mapped);
    EXPECT_TRUE(mapped->changedWhileRead());
    EXPECT_EQ(QByteArray(mapped->data(), page + 10), before.first(page + 10));
    EXPECT_EQ(QByteArray(mapped->data() + 2 * page, page), QByteArray(page, '\0'));

    // A mapping made after the cut is unaffected by the earlier one.
    std::optional<MappedFile> again = MappedFile::map(file.fd, 64);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(again->size(), static_cast<std::size_t>(page + 10));
    EXPECT_FALSE(again->changedWhileRead());
}

TEST(MappedFileDeathTest, ABusErrorOutsideTheMappingsStillEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("other"));
    const long page = ::sysconf(_SC_PAGESIZE);
    writeFile(path, randomBytes(3 * page, 5));
    const auto faultOutsideTheMappings = [&] {
        OpenFile guarded(path);
        const std::optional<MappedFile> mapped = MappedFile::map(guarded.fd, 64); // installs the handler
        OpenFile file(path);
        auto* raw = static_cast<volatile char*>(::mmap(nullptr, 3 * page, PROT_READ, MAP_PRIVATE, file.fd, 0));
        if (::truncate(QFile::encodeName(path).constData(), 0) != 0)
            std::_Exit(0);
        // This process ends at the fault, before any destructor; the open file outlives its folder.
        dir.remove();
        (void)raw[2 * page];
        std::_Exit(0); // the fault was swallowed
    };
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer's own handler was there first: it reports the fault and ends the process.
    EXPECT_DEATH(faultOutsideTheMappings(), "");
#else
    EXPECT_EXIT(faultOutsideTheMappings(), ::testing::KilledBySignal(SIGBUS), "");
#endif
}

TEST_F(MappedHistoryTest, LargeImagesRoundTripWithTheirFingerprintsAndTheSameBytes)
{
    const ClipboardHistoryState state = historyWithLargeImages();
    auto persistence = makePersistence();
    persistence->save(state);
    const QByteArray written = readFile(historyPath());

    const ClipboardHistoryState loaded = persistence->load();
    ASSERT_EQ(loaded, state);
    for (const ClipboardItem& item : loaded.items) {
        if (const ClipboardImage* image = item.content().imageIf()) {
            EXPECT_EQ(image->fingerprint(), Sha256::hexDigest(image->data()));
        }
    }
    persistence->save(loaded);
    EXPECT_EQ(readFile(historyPath()), written);

    // The older bare array takes the same path.
    QByteArray array = HistoryJsonCodec::encodeState(state);
    array = array.mid(array.indexOf('['), array.indexOf("\"pinboards\"") - array.indexOf('['));
    array.truncate(array.lastIndexOf(']') + 1);
    const auto decoded = HistoryJsonCodec::decodeHistoryFile(JsonInput::copyOf(array));
    EXPECT_EQ(decoded.form, HistoryJsonCodec::HistoryFileForm::legacyArray);
    EXPECT_EQ(decoded.state.items, state.items);
}

// A large image of the history file is left there until its bytes are read: checked as strictly
// as a decoded one, told apart and compared by the same quick key as the bytes themselves, and
// written out again as it was. A file cut short after the load gives no bytes at all for it, and
// never zeros or another image's bytes in the next save.
TEST_F(MappedHistoryTest, LargeImagesStayInTheFileUntilReadAndAreCheckedAsStrictlyAsDecodedOnes)
{
    const ClipboardHistoryState state = historyWithLargeImages();
    auto persistence = makePersistence();
    persistence->save(state);
    const QByteArray written = readFile(historyPath());

    ClipboardHistoryState loaded = persistence->load();
    QList<const ClipboardImage*> originals, images;
    for (qsizetype i = 0; i < state.items.size(); ++i) {
        if (const ClipboardImage* image = loaded.items[i].content().imageIf()) {
            images.append(image);
            originals.append(state.items[i].content().imageIf());
        }
    }
    ASSERT_GT(images.size(), 12); // the sample's own small images are decoded as read
    int stored = 0;
    for (qsizetype i = 0; i < images.size(); ++i) {
        const ClipboardImage& image = *images[i];
        stored += image.storedBytes() != nullptr;
        EXPECT_EQ(image.byteCount(), originals[i]->byteCount());
        EXPECT_EQ(image.quickKey(), ClipboardImage::quickKeyOf(originals[i]->data()));
    }
    EXPECT_EQ(stored, 12);
    // Written out before any was read: the same file.
    persistence->save(loaded);
    EXPECT_EQ(readFile(historyPath()), written);
    for (qsizetype i = 0; i < images.size(); ++i)
        EXPECT_EQ(images[i]->data(), originals[i]->data());

    // Flawed Base64 of a large image fails the load as it fails a decoding in place.
    const qsizetype start = written.indexOf("\"data\" : \"", written.indexOf("\"image\" : {\n", written.indexOf("between 0")));
    ASSERT_GT(start, 0);
    const qsizetype textStart = start + qsizetype(strlen("\"data\" : \""));
    const qsizetype textEnd = written.indexOf('"', textStart);
    ASSERT_GT(textEnd - textStart, 64 * 1024);
    for (const qsizetype at : {textStart, textStart + 4096, textEnd - 3}) {
        for (const char flaw : {'*', '\xc3', '='}) {
            QByteArray flawed = written;
            flawed[at] = flaw;
            if (flaw == '\xc3')
                flawed[at + 1] = '\xa9'; // still UTF-8, not Base64
            writeFile(historyPath(), flawed);
            try {
                makePersistence()->load();
                ADD_FAILURE() << "flawed Base64 loaded at " << at - textStart;
            } catch (const PersistenceError& error) {
                EXPECT_TRUE(error.message().contains(QLatin1String("not valid Base64"))) << error.message().toStdString();
            }
        }
    }

    // Cut short after the load: the images not read yet are still those copied, and so is what
    // the next save holds.
    writeFile(historyPath(), written);
    loaded = makePersistence()->load();
    ASSERT_EQ(::truncate(QFile::encodeName(historyPath()).constData(), written.size() / 3), 0);
    EXPECT_EQ(HistoryJsonCodec::encodeState(loaded), written);
    for (qsizetype i = 0; i < loaded.items.size(); ++i) {
        if (const ClipboardImage* image = loaded.items[i].content().imageIf())
            EXPECT_EQ(image->data(), state.items[i].content().imageValue().data()) << i;
    }
}

TEST(ParallelItemReading, LargeImagesAreDecodedAsStrictlyAsSmallOnes)
{
    const QByteArray head = R"({"pinboards": [], "items": [)";
    const auto item = [](int index, const QByteArray& fields) {
        return QByteArrayLiteral(R"({"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F6)") + QByteArray::number(index)
               + R"(", "createdAt": 1, "content": {"type": "image", "image": {)" + fields
               + R"(, "typeIdentifier": "p"}}})";
    };
    const auto data = [](const QByteArray& base64) { return "\"data\": \"" + base64 + "\""; };
    // Large enough for the file to be read on the pool.
    const QByteArray good = Base64::encode(randomBytes(900'000, 6));
    ASSERT_EQ(good.size() % 4, 0);

    QByteArray badCharacter = good;
    badCharacter[good.size() / 2] = '*';
    QByteArray badPadding = Base64::encode(randomBytes(900'001, 7)); // ends in "=="
    badPadding[badPadding.size() - 3] = 'R';                       // leaves bits over
    const QByteArray badLength = good + "A";
    QByteArray spaced = good;
    spaced[100] = ' ';
    for (const QByteArray& bad : {badCharacter, badPadding, badLength, spaced}) {
        const QString message = historyFileError(head + item(0, data(good)) + ", " + item(1, data(bad)) + "]}");
        EXPECT_TRUE(message.contains(QLatin1String("items[1].content.image.data: not valid Base64"))) << message.toStdString();
    }

    // The first failure in the document is the one reported, whichever way each was decoded.
    const QString imageFirst = historyFileError(head + item(0, data(badCharacter)) + R"(, {"createdAt": 1}]})");
    EXPECT_TRUE(imageFirst.contains(QLatin1String("items[0].content.image.data"))) << imageFirst.toStdString();
    const QString keyFirst = historyFileError(head + R"({"createdAt": 1}, )" + item(1, data(badCharacter)) + "]}");
    EXPECT_TRUE(keyFirst.contains(QLatin1String("\"id\""))) << keyFirst.toStdString();
    const QString twoImages =
        historyFileError(head + item(0, data(good)) + ", " + item(1, data(spaced)) + ", " + item(2, data(badCharacter)) + "]}");
    EXPECT_TRUE(twoImages.contains(QLatin1String("items[1]"))) << twoImages.toStdString();

    // A key given twice: the last value counts, and its fingerprint is the one kept.
    const QByteArray other = Base64::encode(randomBytes(800'000, 8));
    const auto twice = HistoryJsonCodec::decodeHistoryFile(
        JsonInput::copyOf(head + item(0, data(good) + ", " + data(other)) + "]}"));
    const ClipboardImage& image = twice.state.items[0].content().imageValue();
    EXPECT_EQ(image.data(), randomBytes(800'000, 8));
    EXPECT_EQ(image.fingerprint(), Sha256::hexDigest(image.data()));
}

TEST(ParallelItemReading, FailuresAreReportedAsReadingInOrderReportsThem)
{
    const QByteArray id = R"("id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "createdAt": 1, )";
    const QByteArray good = "{" + id + R"("content": {"type": "text", "text": "fine"}})";
    const QByteArray largeImage = "{" + id + R"("content": {"type": "image", "image": {"typeIdentifier": "p", "data": ")"
                                  + Base64::encode(randomBytes(600'000, 9)) + "\"}}}";
    const QList<QByteArray> badItems = {
        R"({"createdAt": 1, "content": {"type": "text", "text": "hi"}})",
        "{" + id + R"("content": {"type": "file"}})",
        "{" + id + R"("content": {"type": "text", "text": 3}})",
        "{" + id + R"("content": {"type": "image", "image": {"data": "AA=E", "typeIdentifier": "p"}}})",
        "{" + id + R"("content": {"type": "text", "text": "x"}, "originalPayload": {"html": ""}})",
        "{" + id + R"("content": {"type": "text", "text": "x"}, "pinboardIDs": ["nope"]})",
        R"("not an object")",
        "3",
    };
    QList<QByteArray> documents;
    for (const QByteArray& bad : badItems) {
        // A bad clip between good ones and large images, then a second failure after it.
        documents.append(R"({"pinboards": [], "items": [)" + good + ", " + largeImage + ", " + bad + ", " + largeImage
                         + R"(, {"id": 1}]})");
        documents.append(R"({"items": [)" + good + ", " + bad + R"(], "pinboards": [{"id": 2}]})");
        documents.append(R"({"items": [)" + largeImage + ", " + bad + "]}");
    }
    documents.append(R"({"items": {"not": "a list"}, "pinboards": []})");
    documents.append(R"({"pinboards": [{"id": 3}], "items": [)" + good + "]}");
    for (const QByteArray& document : documents) {
        QString inOrder;
        try {
            HistoryJsonCodec::decodeState(document);
        } catch (const PersistenceError& error) {
            inOrder = error.message();
        }
        ASSERT_FALSE(inOrder.isEmpty()) << document.left(200).constData();
        EXPECT_EQ(historyFileError(document),
                  QStringLiteral("The history file is neither a history object nor a list of clips (%1)").arg(inOrder))
            << document.left(200).constData();
    }

    // The older bare array: its clips are at the top level.
    const QString arrayError = historyFileError("[" + good + ", " + largeImage + ", " + badItems[0] + "]");
    EXPECT_TRUE(arrayError.startsWith(QLatin1String("[2]: "))) << arrayError.toStdString();
}

TEST_F(MappedHistoryTest, ASaveThatReplacesTheFileDuringALoadDoesNotDisturbIt)
{
    const ClipboardHistoryState first = historyWithLargeImages();
    const ClipboardHistoryState second = generationHistory(5, 200'000);
    auto writer = makePersistence();
    writer->save(first);
    auto reader = makePersistence([&] { writer->save(second); });
    EXPECT_EQ(reader->load(), first);
    EXPECT_TRUE(corruptCopies().isEmpty());
    EXPECT_EQ(generationOf(makePersistence()->load()), 5);
}

// Another writer during the load or after it, with the file leased and, when the test holds it
// open for writing, without (the load then reads a private copy): what is loaded, and saved again,
// is the file as it was opened; the file itself is left as the writer made it.
TEST_F(MappedHistoryTest, AFileCutShortOrRewrittenInPlaceIsLoadedAndSavedAsItWasOpened)
{
    const ClipboardHistoryState state = historyWithLargeImages();
    auto writer = makePersistence();
    writer->save(state);
    const QByteArray written = readFile(historyPath());
    const QByteArray native = QFile::encodeName(historyPath());
    for (const bool heldForWriting : {false, true}) {
        for (const qint64 keep : {qint64(written.size() / 2), qint64(0)}) {
            writeFile(historyPath(), written);
            OpenFile held{QString()};
            if (heldForWriting)
                held.fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC);
            auto reader = makePersistence([&] { ASSERT_EQ(::truncate(native.constData(), keep), 0); });
            const ClipboardHistoryState loaded = reader->load();
            EXPECT_EQ(loaded, state) << heldForWriting << keep;
            EXPECT_EQ(readFile(historyPath()).size(), keep);

            // Rewritten in place after the load, every image swapped for zeros.
            QByteArray zeroed = written;
            for (qsizetype at = zeroed.indexOf("\"data\" : \""); at >= 0; at = zeroed.indexOf("\"data\" : \"", at + 1)) {
                for (qsizetype i = at + 10; zeroed[i] != '"'; ++i)
                    zeroed[i] = 'A';
            }
            writeFile(historyPath(), zeroed);
            reader->save(loaded);
            EXPECT_EQ(readFile(historyPath()), written) << heldForWriting << keep;
            EXPECT_TRUE(corruptCopies().isEmpty());
        }
    }
}

// The long Base64 strings of a clip (an image's data, a rich text's bytes, a text that is itself
// Base64) are read from the file as they stand, without the parser; the strings around them, with
// quotes and backslashes, are read by it. Either way the clips are those that reading the file in
// order makes, and saved again they make the same file.
TEST_F(MappedHistoryTest, LongBase64StringsAreReadAsReadingInOrderReadsThem)
{
    ClipboardHistoryState state = historyWithLargeImages();
    state.items.append(ClipboardItem(QUuid::createUuid(), QString::fromLatin1(Base64::encode(randomBytes(90'000, 21))), 10.0));
    state.items.append(ClipboardItem(QUuid::createUuid(),
                                     QStringLiteral("a backslash \\ then ") + QString(70'000, QLatin1Char('x'))
                                         + QStringLiteral(" \\\"quoted\\\\\" and \\\\"),
                                     9.0));
    // Quoted words before a run of Base64 letters: the quotes are escaped, the letters part of the text.
    state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("\"x\"") + QString(70'000, QLatin1Char('A')), 8.5));
    std::optional<ClipboardOriginalPayload> payload =
        ClipboardOriginalPayload::create(randomBytes(200'000, 22), randomBytes(300'001, 23), {});
    ASSERT_TRUE(payload.has_value());
    state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("rich \"text\""), 8.0, false, {},
                                     std::nullopt, std::move(payload)));
    auto writer = makePersistence();
    writer->save(state);
    const QByteArray written = readFile(historyPath());
    ASSERT_GT(written.size(), 1024 * 1024); // read on the worker

    const ClipboardHistoryState loaded = makePersistence()->load();
    EXPECT_EQ(loaded, HistoryJsonCodec::decodeState(QByteArrayView(written)));
    EXPECT_EQ(loaded, state);
    writer->save(loaded);
    EXPECT_EQ(readFile(historyPath()), written);
}

// The copy a file is parsed from, read a piece at a time: strings of every kind, of lengths that
// put their quotes, backslashes and padding on either side of the pieces' edges. Exactly the long
// strings of strict Base64 are left out, each with its text where it lies in the file, and the
// rest is copied as it is.
TEST(JsonInputCopy, LeavesOutExactlyTheLongStringsOfStrictBase64)
{
    // Pieces of the size files are read in, then pieces so small that every edge comes up.
    for (const auto& [count, pieceBytes] : {std::pair{60, std::size_t(1024 * 1024)}, std::pair{12, std::size_t(3)},
                                            std::pair{12, std::size_t(7)}, std::pair{12, std::size_t(4099)},
                                            std::pair{12, std::size_t(65539)}}) {
        QRandomGenerator random(quint32(31 + pieceBytes));
        const auto letters = [&](qsizetype size) {
            static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
            QByteArray text(size, 'A');
            for (char& c : text)
                c = alphabet[random.bounded(64)];
            return text;
        };
        struct Piece {
            QByteArray json; // the string with its quotes
            bool leftOut;
        };
        std::vector<Piece> pieces;
        const qsizetype minimum = qsizetype(JsonInput::cutStringMinimum);
        for (int i = 0; i < count; ++i) {
            const qsizetype size = minimum - 8 + random.bounded(120'000);
            switch (i % 8) {
            case 0: { // strict Base64, with or without padding
                const QByteArray base64 = Base64::encode(randomBytes(size * 3 / 4 + random.bounded(3), quint32(i)));
                pieces.push_back({'"' + base64 + '"', base64.size() >= minimum});
                break;
            }
            case 1: // of the alphabet, but of a length no Base64 has
                pieces.push_back({'"' + letters(size / 4 * 4 + 1) + '"', false});
                break;
            case 2: // padding in the middle
                pieces.push_back({'"' + letters(size / 8 * 4) + "==" + letters(size / 8 * 4 - 2) + '"', false});
                break;
            case 3: // escaped quotes, and a run of backslashes before the closing quote
                pieces.push_back({"\"\\\"x\\\"" + letters(size / 4 * 4) + "\\\\\\\\\"", false});
                break;
            case 4: // escaped quotes around the letters, which then look like a string of their own
                pieces.push_back({"\"a \\\"" + letters(size / 4 * 4) + "\\\" b\"", false});
                break;
            case 5: // short strings and structure
                pieces.push_back({"{\"k\": \"v\\\\\", \"n\": [1, 2]}", false});
                break;
            case 6: { // padding that leaves bits over
                QByteArray base64 = Base64::encode(randomBytes(size * 3 / 4 + 1, quint32(i)));
                base64[base64.size() - 3] = 'B';
                const bool valid = Base64::isValid(std::string_view(base64.constData(), std::size_t(base64.size())));
                pieces.push_back({'"' + base64 + '"', valid && base64.size() >= minimum});
                break;
            }
            default: // a run of backslashes, then letters
                pieces.push_back({'"' + QByteArray(random.bounded(3000) * 2, '\\') + letters(size / 4 * 4) + '"', false});
                break;
            }
        }
        QByteArray json = "[";
        std::vector<std::pair<qsizetype, qsizetype>> expected; // where each string left out is in the file
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                json += ", ";
            if (pieces[i].leftOut)
                expected.emplace_back(json.size() + 1, pieces[i].json.size() - 2);
            json += pieces[i].json;
        }
        json += "]";

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.json"));
        writeFile(path, json);
        OpenFile file(path);
        const JsonInput input = JsonInput::readFile(file.fd, pieceBytes);
        ASSERT_TRUE(input.isMapped());
        EXPECT_FALSE(input.changedWhileRead());

        // Put back what was left out: the file again.
        QByteArray rebuilt;
        std::size_t found = 0;
        const std::string_view copy = input.view();
        for (std::size_t at = 0; at < copy.size(); ++at) {
            rebuilt += copy[at];
            if (const std::string_view* text = input.cutStringAt(copy.data() + at)) {
                ASSERT_LT(found, expected.size()) << pieceBytes;
                EXPECT_EQ(text->data() - input.mapping()->data(), expected[found].first) << pieceBytes;
                EXPECT_EQ(qsizetype(text->size()), expected[found].second) << pieceBytes;
                rebuilt += QByteArray(text->data(), qsizetype(text->size()));
                ++found;
            }
        }
        EXPECT_EQ(found, expected.size()) << pieceBytes;
        EXPECT_GE(found, std::size_t(count / 8));
        EXPECT_EQ(rebuilt, json) << pieceBytes;
        EXPECT_NE(input.data(), input.mapping()->data());
    }
}

TEST(JsonInputCopy, AFileWithoutLongBase64IsParsedWhereItLies)
{
    // Long strings that only look like Base64 in part, and short ones that are.
    QByteArray json = "[";
    for (int i = 0; i < 40; ++i) {
        if (i > 0)
            json += ", ";
        json += i % 2 ? '"' + Base64::encode(randomBytes(3000, quint32(i))) + '"'
                      : '"' + Base64::encode(randomBytes(60'000, quint32(i))) + " and words\\\"\"";
    }
    json += "]";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.json"));
    writeFile(path, json);
    for (const std::size_t pieceBytes : {std::size_t(5), std::size_t(4099), std::size_t(1024 * 1024)}) {
        OpenFile file(path);
        const JsonInput input = JsonInput::readFile(file.fd, pieceBytes);
        ASSERT_TRUE(input.isMapped());
        EXPECT_FALSE(input.hasCutStrings());
        EXPECT_EQ(input.data(), input.mapping()->data());
        EXPECT_EQ(QByteArray(input.data(), qsizetype(input.size())), json);
    }
}
