// libFuzzer entry point for the archive decoder: any input must either decode to a state that
// passes the archive checks and encodes again, or be refused with an import error.

#include "TolviCore/archive/ClipboardHistoryArchive.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace tolvi;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const ClipboardHistoryState state =
            ClipboardHistoryArchive::decode(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
        ClipboardHistoryArchive::validate(state);
        const QByteArray again = ClipboardHistoryArchive::encode(state);
        if (!(ClipboardHistoryArchive::decode(again) == state))
            std::abort();
    } catch (const ClipboardHistoryImportError&) {
    }
    return 0;
}
