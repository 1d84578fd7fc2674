// Saves the history over and over until it is killed; the crash-consistency test kills it at
// random moments and then checks that the file always loads. With "load", it loads the history
// once instead, on a file system without hard links, so that a damaged file is copied byte by
// byte while the test kills it.
#include "HardLinks.h"
#include "SampleHistory.h"

#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <history file> [load]\n", argv[0]);
        return 2;
    }
    tolvi::FileClipboardHistoryPersistence persistence(QString::fromLocal8Bit(argv[1]),
                                                       {[](std::function<void()> task) { task(); }, {}, {}});
    if (argc > 2 && std::strcmp(argv[2], "load") == 0) {
        tolvi::samples::refuseHardLinks(true);
        std::puts("loading");
        std::fflush(stdout);
        try {
            persistence.load();
        } catch (const tolvi::PersistenceError&) {
        }
        return 0;
    }
    for (int generation = 0;; ++generation) {
        persistence.save(tolvi::samples::generationHistory(generation, 256 * 1024 + generation % 7 * 50'000));
        if (generation == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
