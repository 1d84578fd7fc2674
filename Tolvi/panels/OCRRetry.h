#pragma once

namespace tolvi {

class ClipboardItem;
class ClipboardStore;

// Whether text recognition of the clip's image may be asked for again: an image not being read
// now, that has no text yet or whose reading failed for a reason other than its format.
bool canRetryOCR(const ClipboardStore& store, const ClipboardItem& item);

} // namespace tolvi
