#pragma once

#include "TolviCore/model/ClipboardContent.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace tolvi {

// Where one thread keeps the texts of a history file as it reads them, as their UTF-8 bytes: one
// after another in blocks of 2 MB, each put in place with one call, rather than each text in an
// allocation of its own. Thousands of texts then take a few calls instead of a page fault for each
// page they fill, which is much of what reading them costs. A block lives as long as any of its
// texts; each page of it that none of its texts uses any more is given back as they go, and so is
// the end of a block that no text has used. The texts themselves can go to any thread.
class LoadedTextBlocks {
public:
    // Texts larger than this have an allocation of their own.
    static constexpr std::size_t largestText = 256 * 1024;

    LoadedTextBlocks() = default;
    ~LoadedTextBlocks();
    LoadedTextBlocks(const LoadedTextBlocks&) = delete;
    LoadedTextBlocks& operator=(const LoadedTextBlocks&) = delete;

    // The text made of a copy of `utf8` (which must be well formed, `units` UTF-16 code units long)
    // in a block; none when it is larger than largestText, or when no block could be had.
    std::optional<ClipboardContent> text(std::string_view utf8, qsizetype units);

    class Block;

private:
    void endBlock();

    std::shared_ptr<Block> block_;
    std::size_t used_ = 0;
};

} // namespace tolvi
