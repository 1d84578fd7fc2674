#include "ocr-protocol/OCRRasterPolicy.h"

#include <QBuffer>
#include <QImageReader>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tolvi::OCRRasterPolicy {

namespace {

const QString pngType = QStringLiteral("public.png");
const QString tiffType = QStringLiteral("public.tiff");
const QString jpegType = QStringLiteral("public.jpeg");
const QString gifType = QStringLiteral("com.compuserve.gif");
const QString webpType = QStringLiteral("org.webmproject.webp");

// Bounds-checked reads over the encoded bytes.
class Bytes {
public:
    explicit Bytes(QByteArrayView data) : m_data(reinterpret_cast<const uchar*>(data.data())), m_size(data.size()) {}

    qsizetype size() const { return m_size; }
    bool has(qint64 offset, qint64 count) const { return offset >= 0 && count >= 0 && offset <= m_size && count <= m_size - offset; }
    bool matches(qint64 offset, const char* text) const
    {
        const auto length = qint64(std::strlen(text));
        return has(offset, length) && std::memcmp(m_data + offset, text, size_t(length)) == 0;
    }
    std::optional<quint32> u8(qint64 offset) const
    {
        if (!has(offset, 1))
            return std::nullopt;
        return m_data[offset];
    }
    std::optional<quint32> be16(qint64 offset) const
    {
        if (!has(offset, 2))
            return std::nullopt;
        return (quint32(m_data[offset]) << 8) | m_data[offset + 1];
    }
    std::optional<quint32> be32(qint64 offset) const
    {
        if (!has(offset, 4))
            return std::nullopt;
        return (quint32(m_data[offset]) << 24) | (quint32(m_data[offset + 1]) << 16) | (quint32(m_data[offset + 2]) << 8)
            | m_data[offset + 3];
    }
    std::optional<quint32> le16(qint64 offset) const
    {
        if (!has(offset, 2))
            return std::nullopt;
        return quint32(m_data[offset]) | (quint32(m_data[offset + 1]) << 8);
    }
    std::optional<quint32> le24(qint64 offset) const
    {
        if (!has(offset, 3))
            return std::nullopt;
        return quint32(m_data[offset]) | (quint32(m_data[offset + 1]) << 8) | (quint32(m_data[offset + 2]) << 16);
    }
    std::optional<quint32> le32(qint64 offset) const
    {
        if (!has(offset, 4))
            return std::nullopt;
        return quint32(m_data[offset]) | (quint32(m_data[offset + 1]) << 8) | (quint32(m_data[offset + 2]) << 16)
            | (quint32(m_data[offset + 3]) << 24);
    }

private:
    const uchar* m_data;
    qsizetype m_size;
};

// Collects frames as a sniffer finds them and applies the frame, dimension and pixel limits
// in frame order. Sniffers stop as soon as a frame is refused.
class FrameTally {
public:
    bool add(qint64 width, qint64 height)
    {
        if (m_frameCount >= maximumFrameCount)
            return fail();
        if (width <= 0 || height <= 0 || width > maximumDimension || height > maximumDimension)
            return fail();
        if (width > maximumPixels / height)
            return fail();
        const qint64 pixels = width * height;
        if (pixels > maximumPixels - m_totalPixels)
            return fail();
        m_totalPixels += pixels;
        if (m_frameCount == 0) {
            m_firstWidth = int(width);
            m_firstHeight = int(height);
        }
        ++m_frameCount;
        return true;
    }
    bool fail()
    {
        m_refused = true;
        return false;
    }
    std::optional<Metadata> result(const QString& type) const
    {
        if (m_refused || m_frameCount < 1)
            return std::nullopt;
        return Metadata{type, m_firstWidth, m_firstHeight, m_frameCount};
    }

private:
    int m_frameCount = 0;
    qint64 m_totalPixels = 0;
    int m_firstWidth = 0;
    int m_firstHeight = 0;
    bool m_refused = false;
};

std::optional<Metadata> sniffPNG(const Bytes& bytes)
{
    // Signature, then IHDR as the first chunk.
    if (!bytes.matches(0, "\x89PNG\r\n\x1a\n") || bytes.be32(8) != 13u || !bytes.matches(12, "IHDR"))
        return std::nullopt;
    const auto width = bytes.be32(16);
    const auto height = bytes.be32(20);
    if (!width || !height)
        return std::nullopt;
    // Walk the chunks up to the first IDAT: an animated PNG announces its frame count in acTL,
    // and every frame of it lies within the IHDR canvas.
    qint64 frames = 1;
    qint64 offset = 8;
    for (;;) {
        const auto length = bytes.be32(offset);
        if (!length || *length > 0x7fffffffu || !bytes.has(offset + 8, qint64(*length) + 4))
            return std::nullopt;
        if (bytes.matches(offset + 4, "IDAT"))
            break;
        if (bytes.matches(offset + 4, "IEND"))
            return std::nullopt;
        if (bytes.matches(offset + 4, "acTL")) {
            const auto announced = bytes.be32(offset + 8);
            if (*length < 8 || !announced || *announced == 0)
                return std::nullopt;
            frames = *announced;
        }
        offset += 12 + qint64(*length);
    }
    FrameTally tally;
    for (qint64 i = 0; i < frames; ++i) {
        if (!tally.add(*width, *height))
            break;
    }
    return tally.result(pngType);
}

std::optional<Metadata> sniffJPEG(const Bytes& bytes)
{
    if (!bytes.matches(0, "\xff\xd8"))
        return std::nullopt;
    qint64 offset = 2;
    for (;;) {
        if (bytes.u8(offset) != 0xffu)
            return std::nullopt;
        while (bytes.u8(offset) == 0xffu)
            ++offset; // fill bytes
        const auto marker = bytes.u8(offset);
        if (!marker)
            return std::nullopt;
        ++offset;
        if (*marker == 0x01 || (*marker >= 0xd0 && *marker <= 0xd8))
            continue; // markers without a length
        if (*marker == 0xd9 || *marker == 0xda)
            return std::nullopt; // end of image or scan data before any frame header
        const auto length = bytes.be16(offset);
        if (!length || *length < 2 || !bytes.has(offset, *length))
            return std::nullopt;
        const bool frameHeader = *marker >= 0xc0 && *marker <= 0xcf && *marker != 0xc4 && *marker != 0xc8 && *marker != 0xcc;
        if (frameHeader) {
            const auto height = bytes.be16(offset + 3);
            const auto width = bytes.be16(offset + 5);
            if (*length < 8 || !width || !height)
                return std::nullopt;
            FrameTally tally;
            tally.add(*width, *height);
            return tally.result(jpegType);
        }
        offset += *length;
    }
}

// Skips a run of GIF data sub-blocks; returns the offset after the terminator.
std::optional<qint64> skipGIFSubBlocks(const Bytes& bytes, qint64 offset)
{
    for (;;) {
        const auto blockSize = bytes.u8(offset);
        if (!blockSize)
            return std::nullopt;
        offset += 1;
        if (*blockSize == 0)
            return offset;
        offset += *blockSize;
    }
}

std::optional<Metadata> sniffGIF(const Bytes& bytes)
{
    if (!bytes.matches(0, "GIF87a") && !bytes.matches(0, "GIF89a"))
        return std::nullopt;
    const auto canvasWidth = bytes.le16(6);
    const auto canvasHeight = bytes.le16(8);
    const auto screenFlags = bytes.u8(10);
    if (!canvasWidth || !canvasHeight || !screenFlags || !bytes.has(0, 13))
        return std::nullopt;
    qint64 offset = 13;
    if (*screenFlags & 0x80)
        offset += 3 * (qint64(1) << ((*screenFlags & 0x07) + 1));
    FrameTally tally;
    for (;;) {
        const auto introducer = bytes.u8(offset);
        if (!introducer || *introducer == 0x3b)
            break; // end of data or trailer
        if (*introducer == 0x21) {
            const auto next = skipGIFSubBlocks(bytes, offset + 2);
            if (!next)
                break;
            offset = *next;
            continue;
        }
        if (*introducer != 0x2c)
            break;
        const auto left = bytes.le16(offset + 1);
        const auto top = bytes.le16(offset + 3);
        const auto width = bytes.le16(offset + 5);
        const auto height = bytes.le16(offset + 7);
        const auto flags = bytes.u8(offset + 9);
        if (!left || !top || !width || !height || !flags)
            break;
        // A frame may reach beyond the canvas it was declared on; decoders differ in what they
        // do with that, so the frame counts with whichever is larger in each direction.
        const qint64 extentWidth = std::max<qint64>(*canvasWidth, qint64(*left) + *width);
        const qint64 extentHeight = std::max<qint64>(*canvasHeight, qint64(*top) + *height);
        if (!tally.add(extentWidth, extentHeight))
            return std::nullopt;
        offset += 10;
        if (*flags & 0x80)
            offset += 3 * (qint64(1) << ((*flags & 0x07) + 1));
        const auto next = skipGIFSubBlocks(bytes, offset + 1); // after the LZW code size
        if (!next)
            break;
        offset = *next;
    }
    return tally.result(gifType);
}

std::optional<Metadata> sniffTIFF(const Bytes& bytes)
{
    bool little;
    if (bytes.matches(0, "II*\0") || (bytes.matches(0, "II") && bytes.le16(2) == 42u))
        little = true;
    else if (bytes.matches(0, "MM") && bytes.be16(2) == 42u)
        little = false;
    else
        return std::nullopt; // also BigTIFF, which is not accepted
    auto u16 = [&](qint64 at) { return little ? bytes.le16(at) : bytes.be16(at); };
    auto u32 = [&](qint64 at) { return little ? bytes.le32(at) : bytes.be32(at); };

    FrameTally tally;
    auto ifd = u32(4);
    if (!ifd || *ifd == 0)
        return std::nullopt;
    while (*ifd != 0) {
        // A directory chain longer than the frame limit (a loop included) is refused by the tally.
        if (*ifd < 8)
            return std::nullopt;
        const auto entries = u16(*ifd);
        if (!entries || *entries == 0 || !bytes.has(qint64(*ifd) + 2, qint64(*entries) * 12 + 4))
            return std::nullopt;
        std::optional<quint32> width;
        std::optional<quint32> height;
        for (quint32 i = 0; i < *entries; ++i) {
            const qint64 entry = qint64(*ifd) + 2 + qint64(i) * 12;
            const auto tag = u16(entry);
            const auto type = u16(entry + 2);
            const auto count = u32(entry + 4);
            if (*tag != 256 && *tag != 257)
                continue;
            // A size given twice leaves it open which one the decoder believes.
            if (*count != 1 || (*tag == 256 ? width : height))
                return std::nullopt;
            std::optional<quint32> value;
            if (*type == 3)
                value = u16(entry + 8);
            else if (*type == 4)
                value = u32(entry + 8);
            else
                return std::nullopt;
            (*tag == 256 ? width : height) = value;
        }
        if (!width || !height || !tally.add(*width, *height))
            return std::nullopt;
        ifd = u32(qint64(*ifd) + 2 + qint64(*entries) * 12);
        if (!ifd)
            return std::nullopt;
    }
    return tally.result(tiffType);
}

std::optional<Metadata> sniffWebP(const Bytes& bytes)
{
    if (!bytes.matches(0, "RIFF") || !bytes.matches(8, "WEBP"))
        return std::nullopt;
    const qint64 first = 12;
    const auto firstSize = bytes.le32(first + 4);
    if (!firstSize || !bytes.has(first + 8, *firstSize))
        return std::nullopt;
    const qint64 payload = first + 8;
    FrameTally tally;
    if (bytes.matches(first, "VP8 ")) {
        // Frame tag (3 bytes), start code, then 14-bit width and height.
        const auto width = bytes.le16(payload + 6);
        const auto height = bytes.le16(payload + 8);
        if (*firstSize < 10 || !bytes.matches(payload + 3, "\x9d\x01\x2a") || !width || !height)
            return std::nullopt;
        tally.add(*width & 0x3fff, *height & 0x3fff);
        return tally.result(webpType);
    }
    if (bytes.matches(first, "VP8L")) {
        const auto bits = bytes.le32(payload + 1);
        if (*firstSize < 5 || bytes.u8(payload) != 0x2fu || !bits)
            return std::nullopt;
        tally.add((*bits & 0x3fff) + 1, ((*bits >> 14) & 0x3fff) + 1);
        return tally.result(webpType);
    }
    if (!bytes.matches(first, "VP8X"))
        return std::nullopt;
    const auto flags = bytes.u8(payload);
    const auto canvasWidth = bytes.le24(payload + 4);
    const auto canvasHeight = bytes.le24(payload + 7);
    if (*firstSize < 10 || !flags || !canvasWidth || !canvasHeight)
        return std::nullopt;
    const qint64 width = qint64(*canvasWidth) + 1;
    const qint64 height = qint64(*canvasHeight) + 1;
    if (!(*flags & 0x02)) {
        tally.add(width, height);
        return tally.result(webpType);
    }
    // Animated: one ANMF chunk per frame, each with its own offset and size on the canvas.
    qint64 offset = payload + *firstSize + (*firstSize & 1);
    while (bytes.has(offset, 8)) {
        const auto size = bytes.le32(offset + 4);
        if (!bytes.has(offset + 8, *size))
            break;
        if (bytes.matches(offset, "ANMF")) {
            const auto x = bytes.le24(offset + 8);
            const auto y = bytes.le24(offset + 11);
            const auto frameWidth = bytes.le24(offset + 14);
            const auto frameHeight = bytes.le24(offset + 17);
            if (*size < 16 || !x || !y || !frameWidth || !frameHeight)
                return std::nullopt;
            const qint64 extentWidth = std::max(width, qint64(*x) * 2 + qint64(*frameWidth) + 1);
            const qint64 extentHeight = std::max(height, qint64(*y) * 2 + qint64(*frameHeight) + 1);
            if (!tally.add(extentWidth, extentHeight))
                return std::nullopt;
        }
        offset += 8 + qint64(*size) + (*size & 1);
    }
    return tally.result(webpType);
}

// Qt decodes a format only when its image plugin is installed.
bool decoderAvailable(const QString& type)
{
    static const QSet<QByteArray> formats = [] {
        const QList<QByteArray> list = QImageReader::supportedImageFormats();
        return QSet<QByteArray>(list.begin(), list.end());
    }();
    if (type == pngType)
        return formats.contains("png");
    if (type == jpegType)
        return formats.contains("jpeg");
    if (type == gifType)
        return formats.contains("gif");
    if (type == tiffType)
        return formats.contains("tiff");
    if (type == webpType)
        return formats.contains("webp");
    return false;
}

QByteArray qtFormat(const QString& type)
{
    if (type == pngType)
        return "png";
    if (type == jpegType)
        return "jpeg";
    if (type == gifType)
        return "gif";
    if (type == tiffType)
        return "tiff";
    return "webp";
}

// scale: below 1 to decode reduced, otherwise at full size.
QImage decode(QByteArrayView data, const Metadata& meta, double scale)
{
    ensureDecoderAllocationLimit();
    QByteArray bytes = QByteArray::fromRawData(data.data(), data.size());
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer, qtFormat(meta.typeIdentifier));
    reader.setAutoTransform(true);
    reader.setDecideFormatFromContent(false);
    if (scale < 1)
        reader.setScaledSize(QSize(std::max(1, qRound(meta.width * scale)), std::max(1, qRound(meta.height * scale))));
    QImage image = reader.read();
    // Whatever the decoder made of the bytes must stay within what the header promised.
    if (!image.isNull() && qint64(image.width()) * image.height() > qint64(meta.width) * meta.height)
        return {};
    return image;
}

} // namespace

const QStringList& supportedTypeIdentifiers()
{
    static const QStringList types{pngType,
                                   tiffType,
                                   jpegType,
                                   gifType,
                                   QStringLiteral("public.heic"),
                                   QStringLiteral("public.heif"),
                                   webpType};
    return types;
}

std::optional<Metadata> metadata(QByteArrayView data)
{
    if (data.isEmpty() || data.size() > maximumBytes)
        return std::nullopt;
    const Bytes bytes(data);
    std::optional<Metadata> result;
    if (bytes.matches(0, "\x89PNG"))
        result = sniffPNG(bytes);
    else if (bytes.matches(0, "\xff\xd8"))
        result = sniffJPEG(bytes);
    else if (bytes.matches(0, "GIF8"))
        result = sniffGIF(bytes);
    else if (bytes.matches(0, "II") || bytes.matches(0, "MM"))
        result = sniffTIFF(bytes);
    else if (bytes.matches(0, "RIFF"))
        result = sniffWebP(bytes);
    if (!result || !decoderAvailable(result->typeIdentifier))
        return std::nullopt;
    return result;
}

void findInstalledDecoders()
{
    decoderAvailable(pngType);
}

QImage previewImage(QByteArrayView data)
{
    const auto meta = metadata(data);
    if (!meta)
        return {};
    const int longer = std::max(meta->width, meta->height);
    return decode(data, *meta, longer > previewMaximumSide ? double(previewMaximumSide) / longer : 1.0);
}

QImage previewImageCovering(QByteArrayView data, int side)
{
    if (side <= 0)
        return {};
    const auto meta = metadata(data);
    if (!meta)
        return {};
    const int shorter = std::min(meta->width, meta->height);
    return decode(data, *meta, shorter > side ? double(side) / shorter : 1.0);
}

QImage previewImageFitting(QByteArrayView data, QSize bounds)
{
    if (bounds.width() <= 0 || bounds.height() <= 0)
        return {};
    const auto meta = metadata(data);
    if (!meta)
        return {};
    // EXIF orientation may turn the frame a quarter: take the larger of the two fits, so the
    // upright picture is never smaller than what fits.
    const double width = meta->width;
    const double height = meta->height;
    const double fit = std::max(std::min(bounds.width() / width, bounds.height() / height),
                                std::min(bounds.width() / height, bounds.height() / width));
    const int longer = std::max(meta->width, meta->height);
    const double limit = longer > previewMaximumSide ? double(previewMaximumSide) / longer : 1.0;
    const double scale = std::min(fit, limit);
    return decode(data, *meta, std::min(scale, 1.0));
}

QImage validatedImage(QByteArrayView data)
{
    const auto meta = metadata(data);
    if (!meta)
        return {};
    return decode(data, *meta, 1.0);
}

int decoderAllocationLimitMegabytes()
{
    constexpr qint64 widestBytesPerPixel = 8;
    constexpr qint64 bytes = maximumPixels * widestBytesPerPixel;
    constexpr qint64 megabyte = 1 << 20;
    return int((bytes + megabyte - 1) / megabyte);
}

void ensureDecoderAllocationLimit()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const int current = QImageReader::allocationLimit();
        if (current != 0 && current < decoderAllocationLimitMegabytes())
            QImageReader::setAllocationLimit(decoderAllocationLimitMegabytes());
    });
}

} // namespace tolvi::OCRRasterPolicy
