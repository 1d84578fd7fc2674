#pragma once

// Which image bytes the system is willing to decode at all. Both programs ask the same
// questions: the app before it captures, previews or sends an image to the OCR worker, the
// worker before it starts recognition. Answers come from the container's header fields only
// (type, frame count, each frame's pixel size); no pixel is decoded to answer them.

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvi::OCRRasterPolicy {

// Largest accepted encoded size; also the request frame limit of the OCR wire protocol.
inline constexpr qsizetype maximumBytes = 12'000'000;
// Largest accepted width and height of any frame, in pixels.
inline constexpr int maximumDimension = 20'000;
// Largest accepted sum of width x height over all frames.
inline constexpr qint64 maximumPixels = 40'000'000;
// Largest accepted number of frames (animated GIF/PNG/WebP, multi-page TIFF).
inline constexpr int maximumFrameCount = 100;
// Longer side of a preview image.
inline constexpr int previewMaximumSide = 1600;

// The only container types accepted, in the order the pasteboard reader prefers them:
// "public.png", "public.tiff", "public.jpeg", "com.compuserve.gif", "public.heic",
// "public.heif", "org.webmproject.webp".
const QStringList& supportedTypeIdentifiers();

struct Metadata {
    QString typeIdentifier; // what the bytes are, never the type they arrived under
    int width = 0;          // first frame
    int height = 0;         // first frame
    int frameCount = 0;     // 1 to maximumFrameCount

    friend bool operator==(const Metadata&, const Metadata&) = default;
};

// No value means "refused". The reported size is the stored one (EXIF orientation is not
// applied). HEIC/HEIF bytes are always refused: this platform's image library has no decoder.
std::optional<Metadata> metadata(QByteArrayView data);

// Learns which decoders are installed, once per process, as metadata() does at its first call:
// Qt loads every image plugin to tell, which takes some milliseconds of file work. For a worker,
// ahead of the first image a thread that must not wait will ask about.
void findInstalledDecoders();

// The first frame, upright (EXIF orientation applied), its longer side at most
// previewMaximumSide. A null image when the bytes are refused or do not decode.
QImage previewImage(QByteArrayView data);

// The first frame, upright, reduced (never enlarged) so that its shorter side is `side`
// pixels: the smallest decode that still covers a `side` x `side` tile. Decoders that can
// (JPEG) decode at that size directly. A null image when refused or undecodable, or when
// `side` is not positive.
QImage previewImageCovering(QByteArrayView data, int side);

// The first frame, upright, reduced (never enlarged) to about the size that fits `bounds`
// (never below it, so a final scale loses nothing), its longer side at most
// previewMaximumSide. Decoders that can decode at that size directly. A null image when refused
// or undecodable, or when `bounds` is empty.
QImage previewImageFitting(QByteArrayView data, QSize bounds);

// The first frame at full size, upright. A null image when refused or undecodable.
QImage validatedImage(QByteArrayView data);

// Qt refuses to decode images above a process-wide allocation limit (128 MB by default).
// Raises it, never lowers it, to what the largest accepted image needs in the widest pixel
// format Qt decodes to (64 bits per pixel). A limit of 0 (switched off) is left alone.
void ensureDecoderAllocationLimit();
int decoderAllocationLimitMegabytes();

} // namespace tolvi::OCRRasterPolicy
