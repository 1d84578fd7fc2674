#pragma once
// Histories the window benchmarks load: held in memory (nothing is written), generated from a
// fixed seed so that every run measures the same clips.
#include "TolviCore/model/ClipboardHistoryState.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace tolvi::bench {

// Hands the store a prepared history and drops what it saves.
class PreparedHistory final : public ClipboardHistoryPersisting {
public:
    explicit PreparedHistory(ClipboardHistoryState state) : m_state(std::move(state)) {}
    ClipboardHistoryState load() override { return m_state; }
    void save(const ClipboardHistoryState&) override {}

private:
    ClipboardHistoryState m_state;
};

// The standard store settings without a cap on the number of clips, so a large history loads whole.
ClipboardStore::Configuration uncappedConfiguration();

// The words generated clips are made of.
const QStringList& clipWords();

// `wordCount` numbered words, a line break after every thirteenth.
QString sentence(QRandomGenerator& random, int wordCount);

// A 640×400 PNG gradient, its colours set by `index`; with a caption, "Screenshot <index>" on it.
QByteArray gradientPhoto(int index, bool captioned);

// Where generated images go in a history of texts.
enum class ImagePlacement {
    // Spread evenly among the texts, each just older than its text, without caption.
    amongTexts,
    // After the texts in the list, every 97 seconds from 15 seconds back, captioned.
    ownTimes,
};

// `texts` text clips (one in five hundred 5,000 words, cut at 50,000 characters; the others 3 to
// 42 words) 30 seconds apart from now backwards, and `images` images, newest first.
ClipboardHistoryState textHistory(int texts, int images, ImagePlacement placement);

} // namespace tolvi::bench
