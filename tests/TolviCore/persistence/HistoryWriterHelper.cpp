// Saves the history over and over until it is killed; the crash-consistency test kills it at
// random moments and then checks that the file always loads.
#include "SampleHistory.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <history file>\n", argv[0]);
        return 2;
    }
    tolvi::FileClipboardHistoryPersistence persistence(QString::fromLocal8Bit(argv[1]),
                                                       {[](std::function<void()> task) { task(); }, {}, {}});
    for (int generation = 0;; ++generation) {
        persistence.save(tolvi::samples::generationHistory(generation, 256 * 1024 + generation % 7 * 50'000));
        if (generation == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
