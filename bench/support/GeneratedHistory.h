#pragma once

// Histories of the sizes the start-up benchmarks measure, generated once per run of a benchmark
// and written with the program's own history writer.

#include <QRandomGenerator>
#include <QString>
#include <QTemporaryDir>

#include <span>

namespace tolvi::bench {

struct HistoryShape {
    const char* name;
    int texts;
    int images;
    bool accented = false; // texts in a language with accents, every one of them beyond ASCII
};

// Empty; 10,000 texts of about 2.5 KB; the same with 200 PNGs of about 1 MB; a history at the
// default byte budget of 500 MB, mostly images; and 10,000 texts of about 2.5 KB with accents.
std::span<const HistoryShape> historyShapes();

struct GeneratedHistory {
    explicit GeneratedHistory(const HistoryShape& shape);

    // $HOME of the program: the file is data/Tolvi/history.json in it (none for the empty shape).
    QTemporaryDir home;
    double fileMB = 0;
    double decodedMB = 0; // image bytes plus text as UTF-8
    int clipCount = 0;

    QString historyPath() const;
};

// The text of clip `index` of a generated history: about 2.5 KB on average, from a few hundred
// bytes to about 18 KB; one in ten carries accents and an emoji.
QString ordinaryText(int index, QRandomGenerator& random);
// The same in a language with accents: words with and without them, every text holding some.
QString accentedText(int index, QRandomGenerator& random);

// The history of a shape, generated at the first call.
GeneratedHistory& generatedHistory(const HistoryShape& shape);

} // namespace tolvi::bench
