// The blocks that a loaded history's ASCII texts are kept in: that each text keeps its bytes for
// as long as it lives, whichever thread lets go of the others, and that the memory no text uses
// any more is given back.
#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/persistence/LoadedTextBlocks.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

using namespace tolvi;

namespace {

std::size_t pageSize()
{
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Whether the page that holds `address` is in memory.
bool resident(const char* address)
{
    const std::size_t page = pageSize();
    auto* start = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(address) & ~(page - 1));
    unsigned char state = 0;
    EXPECT_EQ(::mincore(start, page, &state), 0);
    return (state & 1) != 0;
}

std::string asciiOf(std::size_t size, quint32 seed)
{
    QRandomGenerator random(seed);
    std::string text(size, ' ');
    for (char& c : text)
        c = static_cast<char>(' ' + random.bounded(95));
    return text;
}

QByteArrayView bytesOf(const std::optional<ClipboardContent>& content)
{
    return *content->asciiTextIf();
}

} // namespace

TEST(LoadedTextBlocks, EachTextKeepsItsBytesAndPagesNoTextUsesAreGivenBack)
{
    const std::size_t page = pageSize();
    std::vector<std::string> sources;
    std::vector<std::optional<ClipboardContent>> texts;
    {
        LoadedTextBlocks blocks;
        for (quint32 i = 0; i < 40; ++i) {
            sources.push_back(asciiOf(3 * page + 100, i));
            texts.push_back(blocks.text(sources.back(), qsizetype(sources.back().size())));
            ASSERT_TRUE(texts.back().has_value());
            EXPECT_EQ(bytesOf(texts.back()), QByteArrayView(sources.back().data(), qsizetype(sources.back().size())));
            EXPECT_FALSE(texts.back()->holdsTextValue());
        }
    }
    // The blocks outlive the object that filled them.
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(bytesOf(texts[i]), QByteArrayView(sources[i].data(), qsizetype(sources[i].size()))) << i;

    // Each even text lets go; the odd ones stay.
    struct Span {
        const char* begin;
        const char* end;
    };
    std::vector<Span> gone;
    for (std::size_t i = 0; i < texts.size(); i += 2) {
        const QByteArrayView bytes = bytesOf(texts[i]);
        gone.push_back({bytes.data(), bytes.data() + bytes.size()});
        texts[i].reset();
    }
    for (std::size_t i = 1; i < texts.size(); i += 2) {
        const QByteArrayView bytes = bytesOf(texts[i]);
        EXPECT_EQ(bytes, QByteArrayView(sources[i].data(), qsizetype(sources[i].size()))) << i;
        EXPECT_TRUE(resident(bytes.data()));
        EXPECT_TRUE(resident(bytes.data() + bytes.size() - 1));
    }
    // The pages wholly inside a text that is gone are given back.
    qsizetype givenBack = 0;
    for (const Span& span : gone) {
        const auto first = (reinterpret_cast<std::uintptr_t>(span.begin) + page - 1) & ~(page - 1);
        for (auto at = first; at + page <= reinterpret_cast<std::uintptr_t>(span.end); at += page) {
            EXPECT_FALSE(resident(reinterpret_cast<const char*>(at)));
            ++givenBack;
        }
    }
    EXPECT_GE(givenBack, qsizetype(2 * gone.size()));

    // Copies keep a text alive after the content it was read into is gone.
    const ClipboardContent copy = *texts[1];
    texts.clear();
    EXPECT_EQ(*copy.asciiTextIf(), QByteArrayView(sources[1].data(), qsizetype(sources[1].size())));
    EXPECT_EQ(copy.textValue(), QString::fromLatin1(sources[1].data(), qsizetype(sources[1].size())));
}

TEST(LoadedTextBlocks, TextsLetGoOnSeveralThreadsAtOnceLeaveTheOthersIntact)
{
    std::vector<std::string> sources;
    std::vector<std::optional<ClipboardContent>> texts;
    {
        LoadedTextBlocks blocks;
        QRandomGenerator random(11);
        for (quint32 i = 0; i < 4000; ++i) {
            // Short and long texts, so that pages are shared by several texts and texts span pages.
            sources.push_back(asciiOf(64 + random.bounded(6000), i));
            texts.push_back(blocks.text(sources.back(), qsizetype(sources.back().size())));
            ASSERT_TRUE(texts.back().has_value());
        }
    }
    // Three threads let go of three texts in four, interleaved, while the fourth stay.
    std::vector<std::thread> threads;
    for (std::size_t group = 0; group < 3; ++group) {
        threads.emplace_back([&texts, group] {
            for (std::size_t i = group; i < texts.size(); i += 4)
                texts[i].reset();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t i = 3; i < texts.size(); i += 4)
        ASSERT_EQ(bytesOf(texts[i]), QByteArrayView(sources[i].data(), qsizetype(sources[i].size()))) << i;
}

TEST(LoadedTextBlocks, EmptyAndVeryLongTextsAreLeftToTheirOwnAllocations)
{
    LoadedTextBlocks blocks;
    EXPECT_FALSE(blocks.text(std::string(), 0).has_value());
    EXPECT_FALSE(blocks.text(std::string(LoadedTextBlocks::largestText + 1, 'a'), qsizetype(LoadedTextBlocks::largestText + 1)).has_value());
    // Texts that together fill more than a block each get their bytes.
    const std::string longest(LoadedTextBlocks::largestText, 'b');
    std::vector<ClipboardContent> kept;
    for (int i = 0; i < 20; ++i) {
        std::optional<ClipboardContent> text = blocks.text(longest, qsizetype(longest.size()));
        ASSERT_TRUE(text.has_value());
        kept.push_back(std::move(*text));
    }
    for (const ClipboardContent& text : kept)
        EXPECT_EQ(*text.asciiTextIf(), QByteArrayView(longest.data(), qsizetype(longest.size())));
}

// A history large enough to be read on several threads: its texts, with and without escapes, read
// as reading them one after another reads them.
TEST(LoadedTextBlocks, AHistoryReadInParallelHoldsTheTextsReadInOrderHolds)
{
    ClipboardHistoryState state;
    state.pinboards = DefaultPinboards::all();
    QRandomGenerator random(5);
    for (int i = 0; i < 3000; ++i) {
        QString text = QString::fromStdString(asciiOf(100 + random.bounded(1500), quint32(i)));
        if (i % 3 == 0)
            text += QStringLiteral("\n\t\"quoted\" \\ line\r\n");
        if (i % 7 == 0)
            text += QString::fromUtf8(" caf\xC3\xA9");
        state.items.append(ClipboardItem(QUuid::createUuid(), text, 1000.0 - i));
    }
    const QByteArray json = HistoryJsonCodec::encodeState(state);
    ASSERT_GT(json.size(), 2 * 1024 * 1024);

    std::optional<ClipboardHistoryState> parallel = HistoryJsonCodec::decodeHistoryFile(JsonInput::copyOf(json)).state;
    const ClipboardHistoryState inOrder = HistoryJsonCodec::decodeState(QByteArrayView(json));
    ASSERT_EQ(parallel->items.size(), state.items.size());
    for (qsizetype i = 0; i < state.items.size(); ++i) {
        const ClipboardContent& read = parallel->items[i].content();
        const QString& written = state.items[i].content().textValue();
        EXPECT_EQ(read.asciiTextIf().has_value(), QtPrivate::isAscii(QStringView(written))) << i;
        EXPECT_EQ(read.textValue(), written) << i;
        EXPECT_EQ(read, inOrder.items[i].content()) << i;
    }
    // Saved again as it was.
    EXPECT_EQ(HistoryJsonCodec::encodeState(*parallel), json);
}
