// libFuzzer target for everything in the protocol library that reads untrusted bytes: the
// image header sniffers, the reply decoder and the frame reader. Built only with Clang
// (-DTOLVI_OCR_FUZZER=ON); run by hand, for example:
//   OCRProtocolFuzzer -max_total_time=60 -max_len=4096

#include "ocr-protocol/OCRRasterPolicy.h"
#include "ocr-protocol/OCRWire.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tolvi;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const auto meta = OCRRasterPolicy::metadata(bytes)) {
        if (meta->frameCount < 1 || meta->frameCount > OCRRasterPolicy::maximumFrameCount || meta->width < 1
            || meta->height < 1 || meta->width > OCRRasterPolicy::maximumDimension
            || meta->height > OCRRasterPolicy::maximumDimension)
            __builtin_trap();
    }

    if (const auto reply = OCRWire::decodeResponse(bytes)) {
        const auto again = OCRWire::decodeResponse(OCRWire::encodeResponse(*reply));
        if (!again || !(*again == *reply))
            __builtin_trap();
    }

    int fds[2];
    if (size <= 60'000 && pipe2(fds, O_CLOEXEC) == 0) {
        (void)!write(fds[1], data, size);
        close(fds[1]);
        for (int frames = 0; frames < 64; ++frames) {
            const auto frame = OCRWire::readFrame(fds[0], 1'000);
            if (!frame.payload)
                break;
            if (frame.payload->isEmpty() || frame.payload->size() > 1'000)
                __builtin_trap();
        }
        close(fds[0]);
    }
    return 0;
}
