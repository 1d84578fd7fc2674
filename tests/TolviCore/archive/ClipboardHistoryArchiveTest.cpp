// The history archive: envelope rules, validation, limits and bad input.

#include "TolviCore/archive/ClipboardHistoryArchive.h"
#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/model/UuidText.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

using namespace tolvi;
using Case = ClipboardHistoryImportError::Case;

namespace {

std::optional<Case> decodeError(QByteArrayView data)
{
    try {
        ClipboardHistoryArchive::decode(data);
    } catch (const ClipboardHistoryImportError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

std::optional<Case> encodeError(const ClipboardHistoryState& state)
{
    try {
        ClipboardHistoryArchive::encode(state);
    } catch (const ClipboardHistoryImportError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

Pinboard board(const QString& name, const QString& symbol = QStringLiteral("star"))
{
    return Pinboard(QUuid::createUuid(), name, symbol, 700'000'000.25);
}

ClipboardHistoryState sampleState()
{
    const Pinboard work = board(QStringLiteral("Work"));
    ClipboardHistoryState state;
    state.pinboards = {work, board(QStringLiteral("Caf\u00e9"))};
    state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("text \u00e9 \"quoted\"\n"), 700'000'001.5, true,
                                     {work.id(), work.id()}, ClipboardSourceApp(QStringLiteral("Editor"), QStringLiteral("org.ed"))));
    state.items.append(ClipboardItem(QUuid::createUuid(),
                                     ClipboardContent::image(ClipboardImage(QByteArray("\x00\x01png", 5), QStringLiteral("public.png"),
                                                                            3, 4, QStringLiteral("seen"))),
                                     700'000'000.125));
    state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("rich"), 1.0, false, {}, std::nullopt,
                                     ClipboardOriginalPayload::create(QByteArray("{\\rtf1}"), QByteArray("<b>x</b>"), {})));
    return state;
}

QByteArray bareHistory(const QByteArray& items, const QByteArray& boards = "[]")
{
    return "{\"items\": " + items + ", \"pinboards\": " + boards + "}";
}

QByteArray textClip(const QByteArray& id, const QByteArray& extra = "")
{
    return "{\"id\": \"" + id + "\", \"createdAt\": 5, \"content\": {\"type\": \"text\", \"text\": \"t\"}" + extra + "}";
}

} // namespace

TEST(ClipboardHistoryArchive, RoundTripsEveryFieldInASortedEnvelope)
{
    const ClipboardHistoryState state = sampleState();
    const QByteArray bytes = ClipboardHistoryArchive::encode(state);
    const qsizetype format = bytes.indexOf("\"format\"");
    const qsizetype history = bytes.indexOf("\"history\"");
    const qsizetype version = bytes.lastIndexOf("\"version\"");
    ASSERT_GE(format, 0);
    EXPECT_LT(format, history);
    EXPECT_LT(history, version);
    EXPECT_TRUE(bytes.contains("com.tolvi.history"));
    EXPECT_TRUE(bytes.contains('\n'));
    EXPECT_EQ(ClipboardHistoryArchive::decode(bytes), state);
}

TEST(ClipboardHistoryArchive, EnvelopeFormatIsCheckedBeforeVersion)
{
    const QByteArray history = bareHistory("[]");
    EXPECT_EQ(decodeError(history), std::nullopt);
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"version\": 1, \"history\": " + history + "}"), std::nullopt);
    // Version 1.0 is the number 1.
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"version\": 1.0, \"history\": " + history + "}"), std::nullopt);

    EXPECT_EQ(decodeError("{\"version\": 2}"), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"version\": 1, \"history\": " + history + "}"), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"format\": \"other\", \"version\": 1, \"history\": " + history + "}"), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"format\": 7, \"version\": 1, \"history\": " + history + "}"), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"version\": 2, \"history\": " + history + "}"),
              Case::unsupportedVersion);
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"history\": " + history + "}"), Case::unsupportedVersion);
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"version\": \"1\", \"history\": " + history + "}"),
              Case::unsupportedVersion);
    // A broken history behind a wrong version reports the version; the version comes last in the text.
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"history\": {\"items\": 5}, \"version\": 3}"),
              Case::unsupportedVersion);
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"version\": 1}"), Case::invalidArchive);

    EXPECT_EQ(decodeError("[]"), Case::invalidArchive);
    EXPECT_EQ(decodeError("[" + textClip("5F4D8C2A-0000-4000-8000-000000000001") + "]"), Case::invalidArchive);
    EXPECT_EQ(decodeError(""), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"items\": []}"), Case::invalidArchive);
    EXPECT_EQ(decodeError(history + " trailing"), Case::invalidArchive);
    // Syntax errors inside values the reader does not use still make the data invalid.
    EXPECT_EQ(decodeError("{\"items\": [], \"pinboards\": [], \"x\": [1,,2]}"), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"items\": [], \"pinboards\": [], \"x\": {\"a\" 1}}"), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"items\": [], \"pinboards\": [], \"x\": tru}"), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"version\": 1, \"x\": \"\\q\", \"history\": " + history + "}"),
              Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"items\": [], \"pinboards\": [], \"x\": [{\"deep\": [null, true, 1.5e3, \"\\u00e9\"]}]}"),
              std::nullopt);
}

TEST(ClipboardHistoryArchive, SizeLimitComesBeforeParsing)
{
    QByteArray exact = bareHistory("[]");
    exact.append(QByteArray(qsizetype(ClipboardHistoryArchive::maximumBytes) - exact.size(), ' '));
    ASSERT_EQ(exact.size(), 100'000'000);
    EXPECT_EQ(decodeError(exact), std::nullopt);
    exact.append(' ');
    EXPECT_EQ(decodeError(exact), Case::tooLarge);
    // Not JSON at all, and still too large rather than invalid.
    EXPECT_EQ(decodeError(QByteArray(100'000'001, '\x01')), Case::tooLarge);
}

TEST(ClipboardHistoryArchive, ReadingAPipeStopsJustPastTheLimit)
{
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    std::atomic<qint64> written{0};
    std::thread writer([&] {
        const QByteArray block(1 << 20, ' ');
        // Far more than the limit; the reader stops and closes its end.
        for (int i = 0; i < 300; ++i) {
            qsizetype offset = 0;
            while (offset < block.size()) {
                const ssize_t n = ::send(fds[1], block.constData() + offset, size_t(block.size() - offset), MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                offset += n;
                written += n;
            }
        }
    });
    std::optional<Case> error;
    try {
        ClipboardHistoryArchive::read(fds[0]);
    } catch (const ClipboardHistoryImportError& e) {
        error = e.errorCase();
    }
    ::shutdown(fds[0], SHUT_RDWR);
    writer.join();
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(error, Case::tooLarge);
    // Whatever the kernel buffered beyond the reader's last read, the reader took no more.
    EXPECT_LT(written.load(), qint64(ClipboardHistoryArchive::maximumBytes) + (32 << 20));
}

TEST(ClipboardHistoryArchive, ReadingAFileHonoursTheLimitExactly)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("large.tolvi"));
    QByteArray exact = bareHistory("[]");
    exact.append(QByteArray(qsizetype(ClipboardHistoryArchive::maximumBytes) - exact.size(), ' '));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(exact), exact.size());
    }
    exact.clear();
    EXPECT_NO_THROW(ClipboardHistoryArchive::readFile(path));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        ASSERT_EQ(file.write(" "), 1);
    }
    try {
        ClipboardHistoryArchive::readFile(path);
        ADD_FAILURE() << "a file one byte over the limit was read";
    } catch (const ClipboardHistoryImportError& error) {
        EXPECT_EQ(error.errorCase(), Case::tooLarge);
    }
}

TEST(ClipboardHistoryArchive, ReadsAndWritesFiles)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("export.tolvi"));
    const ClipboardHistoryState state = sampleState();
    ClipboardHistoryArchive::writeFile(state, path);
    EXPECT_EQ(QFileInfo(path).permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
              QFile::Permissions());
    EXPECT_EQ(ClipboardHistoryArchive::readFile(path), state);
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".tolvi-private-")).isEmpty());

    EXPECT_THROW(ClipboardHistoryArchive::writeFile(state, folder.filePath(QStringLiteral("missing/x.tolvi"))), PersistenceError);
    EXPECT_THROW(ClipboardHistoryArchive::readFile(folder.filePath(QStringLiteral("absent"))), PersistenceError);
}

TEST(ClipboardHistoryArchive, ACancelUpToTheLastStepLeavesTheOldFileAsItWas)
{
    // A cancel that comes as the written file is flushed to the disk, before it takes the name,
    // writes nothing: the file that stood under the name stays, and no temporary file is left.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("export.tolvi"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("the earlier export");
    old.close();
    const ClipboardHistoryState state = sampleState();
    EXPECT_THROW(ClipboardHistoryArchive::writeFile(state, path, [](double fraction) { return fraction < 1.0; }),
                 ClipboardHistoryArchive::Cancelled);
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArrayLiteral("the earlier export"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Hidden | QDir::Files), QStringList{QStringLiteral("export.tolvi")});

    // Not cancelled: the export replaces it.
    ClipboardHistoryArchive::writeFile(state, path, [](double) { return true; });
    EXPECT_EQ(ClipboardHistoryArchive::readFile(path), state);
}

TEST(ClipboardHistoryArchive, CountLimitsWinOverOtherFaults)
{
    ClipboardHistoryState many;
    const QUuid shared = QUuid::createUuid();
    for (int i = 0; i < 20'001; ++i)
        many.items.append(ClipboardItem(shared, QStringLiteral("x"), 1));
    EXPECT_EQ(encodeError(many), Case::tooLarge);
    many.items.removeLast();
    EXPECT_EQ(encodeError(many), Case::invalidArchive); // duplicate ids

    ClipboardHistoryState boards;
    for (int i = 0; i < 501; ++i)
        boards.pinboards.append(board(QStringLiteral(" ")));
    EXPECT_EQ(encodeError(boards), Case::tooLarge);

    // The decoder stops reading clips once there are too many.
    QByteArray items = "[";
    for (int i = 0; i < 20'001; ++i) {
        if (i)
            items += ',';
        items += textClip(UuidText::format(QUuid::createUuid()).toLatin1());
    }
    items += "]";
    EXPECT_EQ(decodeError(bareHistory(items)), Case::tooLarge);
    QByteArray boardList = "[";
    for (int i = 0; i < 501; ++i) {
        if (i)
            boardList += ',';
        boardList += "{\"id\": \"" + UuidText::format(QUuid::createUuid()).toLatin1()
                     + "\", \"name\": \"\", \"systemName\": \"s\", \"createdAt\": 1}";
    }
    boardList += "]";
    EXPECT_EQ(decodeError(bareHistory("[]", boardList)), Case::tooLarge);
}

TEST(ClipboardHistoryArchive, StructuralChecks)
{
    ClipboardHistoryState state = sampleState();
    EXPECT_EQ(encodeError(state), std::nullopt);

    ClipboardHistoryState duplicateBoard = state;
    duplicateBoard.pinboards.append(duplicateBoard.pinboards[0]);
    EXPECT_EQ(encodeError(duplicateBoard), Case::invalidArchive);

    ClipboardHistoryState duplicateClip = state;
    duplicateClip.items.append(duplicateClip.items[0]);
    EXPECT_EQ(encodeError(duplicateClip), Case::invalidArchive);

    for (const QString& name : {QStringLiteral(" \n "), QString(81, QLatin1Char('n'))}) {
        ClipboardHistoryState badName = state;
        badName.pinboards.append(board(name));
        EXPECT_EQ(encodeError(badName), Case::invalidArchive);
    }
    ClipboardHistoryState longest = state;
    longest.pinboards.append(board(QString(80, QLatin1Char('n')), QString(100, QLatin1Char('s'))));
    EXPECT_EQ(encodeError(longest), std::nullopt);
    longest.pinboards.last().setSystemName(QString(101, QLatin1Char('s')));
    EXPECT_EQ(encodeError(longest), Case::invalidArchive);

    ClipboardHistoryState unknownBoard = state;
    unknownBoard.items[1].setPinboardIDs({QUuid::createUuid()});
    EXPECT_EQ(encodeError(unknownBoard), Case::invalidArchive);

    ClipboardHistoryState infinite = state;
    infinite.items[1].setCreatedAt(std::numeric_limits<double>::infinity());
    EXPECT_EQ(encodeError(infinite), Case::invalidArchive);
}

TEST(ClipboardHistoryArchive, ImpossiblePixelSizesAreReadAsAbsent)
{
    const QByteArray clip = R"({"id": "5F4D8C2A-0000-4000-8000-000000000001", "createdAt": 5, "content": {"type": "image",
        "image": {"data": "AAEC", "typeIdentifier": "public.png", "pixelWidth": -5, "pixelHeight": 9223372036854775807}}})";
    const ClipboardHistoryState state = ClipboardHistoryArchive::decode(bareHistory("[" + clip + "]"));
    ASSERT_EQ(state.items.size(), 1);
    const ClipboardImage& image = state.items[0].content().imageValue();
    EXPECT_FALSE(image.pixelWidth());
    EXPECT_FALSE(image.pixelHeight());
    EXPECT_EQ(image.pixelDescription(), QStringLiteral("Unknown size"));
}

TEST(ClipboardHistoryArchive, BadInputFailsCleanly)
{
    const QByteArray id = "5F4D8C2A-0000-4000-8000-000000000001";
    EXPECT_EQ(decodeError(bareHistory("[" + textClip(id) + "]")), std::nullopt);

    EXPECT_EQ(decodeError(QByteArray(200'000, '[')), Case::invalidArchive);
    EXPECT_EQ(decodeError(bareHistory("[" + textClip("{" + id + "}") + "]")), Case::invalidArchive);
    EXPECT_EQ(decodeError(bareHistory("[" + textClip("5F4D8C2A000040008000000000000001") + "]")), Case::invalidArchive);
    EXPECT_EQ(decodeError(bareHistory("[" + textClip(id) + "," + textClip(id) + "]")), Case::invalidArchive);
    EXPECT_EQ(decodeError(bareHistory("[{\"id\": \"" + id
                                      + "\", \"createdAt\": 1e400, \"content\": {\"type\": \"text\", \"text\": \"t\"}}]")),
              Case::invalidArchive);
    EXPECT_EQ(decodeError(bareHistory("[{\"id\": \"" + id
                                      + "\", \"createdAt\": 1, \"content\": {\"type\": \"text\", \"text\": \"\xC3\x28\"}}]")),
              Case::invalidArchive);
    const QByteArray imageClip = "[{\"id\": \"" + id
                                 + "\", \"createdAt\": 1, \"content\": {\"type\": \"image\", \"image\": "
                                   "{\"typeIdentifier\": \"public.png\", \"data\": \"";
    EXPECT_EQ(decodeError(bareHistory(imageClip + "AAEC\"}}}]")), std::nullopt);
    EXPECT_EQ(decodeError(bareHistory(imageClip + "AAE\"}}}]")), Case::invalidArchive);
    EXPECT_EQ(decodeError(bareHistory(imageClip + "AA*C\"}}}]")), Case::invalidArchive);
    // A kept representation over its limit.
    const QByteArray hugeRTF = QByteArray(1'000'001, 'r').toBase64();
    EXPECT_EQ(decodeError(bareHistory("[" + textClip(id, ", \"originalPayload\": {\"rtf\": \"" + hugeRTF + "\"}") + "]")),
              Case::invalidArchive);
    // A clip naming a board the archive lacks.
    EXPECT_EQ(decodeError(bareHistory("[" + textClip(id, ", \"pinboardIDs\": [\"" + id + "\"]") + "]")), Case::invalidArchive);
}

TEST(ClipboardHistoryArchive, DeepNestingAnywhereIsRefusedWithoutExhaustingTheStack)
{
    const QByteArray open(200'000, '['), close(200'000, ']');
    const QByteArray id = "5F4D8C2A-0000-4000-8000-000000000001";
    // Balanced, in a value nothing reads; unbalanced; inside a clip; inside the envelope's history.
    EXPECT_EQ(decodeError("{\"items\": [], \"pinboards\": [], \"x\": " + open + close + "}"), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"items\": [], \"pinboards\": [], \"x\": " + open + "}"), Case::invalidArchive);
    EXPECT_EQ(decodeError(bareHistory("[" + textClip(id, ", \"x\": " + open + close) + "]")), Case::invalidArchive);
    EXPECT_EQ(decodeError("{\"format\": \"com.tolvi.history\", \"version\": 1, \"history\": {\"items\": [], \"pinboards\": [], "
                          "\"x\": " + open + close + "}}"),
              Case::invalidArchive);
    // Ordinary nesting in an unused value is fine.
    EXPECT_EQ(decodeError("{\"items\": [], \"pinboards\": [], \"x\": " + QByteArray(100, '[') + QByteArray(100, ']') + "}"),
              std::nullopt);
    QByteArray objects;
    for (int i = 0; i < 100'000; ++i)
        objects += "{\"a\":";
    EXPECT_EQ(decodeError("{\"items\": [], \"pinboards\": [], \"x\": " + objects + "1" + QByteArray(100'000, '}') + "}"),
              Case::invalidArchive);
}
