#include "ocr-protocol/OCRRasterPolicy.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>

#include <array>
#include <utility>
#include <vector>

using namespace tolvi;
using namespace tolvi::OCRRasterPolicy;

namespace {

QByteArray be32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray le16(quint16 value)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray le24(quint32 value)
{
    const char bytes[3] = {char(value & 0xff), char((value >> 8) & 0xff), char((value >> 16) & 0xff)};
    return QByteArray(bytes, 3);
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    return be32(quint32(data.size())) + QByteArray(type) + data + be32(0); // CRC is not read
}

// Header-only PNG: IHDR, optional acTL, one IDAT and IEND.
QByteArray png(quint32 width, quint32 height, std::optional<quint32> animatedFrames = std::nullopt)
{
    QByteArray ihdr = be32(width) + be32(height) + QByteArray("\x08\x06\x00\x00\x00", 5);
    QByteArray bytes = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr);
    if (animatedFrames)
        bytes += pngChunk("acTL", be32(*animatedFrames) + be32(0));
    return bytes + pngChunk("IDAT", QByteArray(4, 'x')) + pngChunk("IEND", {});
}

struct GIFFrame {
    quint16 left = 0, top = 0, width = 1, height = 1;
};

QByteArray gif(quint16 width, quint16 height, const std::vector<GIFFrame>& frames)
{
    QByteArray bytes = QByteArray("GIF89a") + le16(width) + le16(height) + QByteArray("\x80\x00\x00", 3);
    bytes += QByteArray("\x00\x00\x00\xff\xff\xff", 6); // global colour table of 2 entries
    bytes += QByteArray("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (const GIFFrame& frame : frames) {
        bytes += QByteArray("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8); // graphic control extension
        bytes += '\x2c' + le16(frame.left) + le16(frame.top) + le16(frame.width) + le16(frame.height) + '\0';
        bytes += QByteArray("\x02\x02\x44\x01\x00", 5); // LZW code size, one sub-block, terminator
    }
    return bytes + '\x3b';
}

// Little-endian TIFF with one directory per page; `loop` points the last directory back at
// the first.
QByteArray tiff(const std::vector<std::pair<quint32, quint32>>& pages, bool loop = false)
{
    QByteArray bytes = QByteArray("II*\0", 4) + le32(8);
    for (size_t i = 0; i < pages.size(); ++i) {
        const quint32 here = quint32(bytes.size());
        const quint32 next = i + 1 < pages.size() ? here + 2 + 2 * 12 + 4 : (loop ? 8u : 0u);
        bytes += le16(2);
        bytes += le16(256) + le16(4) + le32(1) + le32(pages[i].first);
        bytes += le16(257) + le16(3) + le32(1) + le16(quint16(pages[i].second)) + le16(0);
        bytes += le32(next);
    }
    return bytes;
}

QByteArray riff(const QByteArray& chunks)
{
    return QByteArray("RIFF") + le32(quint32(chunks.size() + 4)) + QByteArray("WEBP") + chunks;
}

QByteArray webpChunk(const char* type, const QByteArray& data)
{
    QByteArray chunk = QByteArray(type) + le32(quint32(data.size())) + data;
    if (data.size() % 2)
        chunk += '\0';
    return chunk;
}

// Animated WebP with a canvas and frames given as (x, y, width, height); x and y even.
QByteArray animatedWebP(quint32 width, quint32 height, const std::vector<std::array<quint32, 4>>& frames)
{
    QByteArray chunks = webpChunk("VP8X", QByteArray("\x02\0\0\0", 4) + le24(width - 1) + le24(height - 1));
    chunks += webpChunk("ANIM", QByteArray(6, '\0'));
    for (const auto& frame : frames)
        chunks += webpChunk("ANMF", le24(frame[0] / 2) + le24(frame[1] / 2) + le24(frame[2] - 1) + le24(frame[3] - 1)
                                        + le24(100) + QByteArray(1, '\0') + QByteArray(8, 'x'));
    return riff(chunks);
}

QByteArray written(const QImage& image, const char* format, std::optional<QImageIOHandler::Transformation> transform = {})
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (transform)
        writer.setTransformation(*transform);
    EXPECT_TRUE(writer.write(image)) << format << writer.errorString().toStdString();
    return bytes;
}

QImage sample(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int x = 0; x < width; ++x)
        image.setPixel(x, 0, qRgb(200, 0, 0));
    return image;
}

} // namespace

TEST(OCRRasterPolicy, SupportedTypesInPreferenceOrder)
{
    EXPECT_EQ(supportedTypeIdentifiers(),
              QStringList({"public.png", "public.tiff", "public.jpeg", "com.compuserve.gif", "public.heic",
                           "public.heif", "org.webmproject.webp"}));
}

TEST(OCRRasterPolicy, RealImagesReportTheirTypeAndSize)
{
    const QImage image = sample(64, 32);
    EXPECT_EQ(metadata(written(image, "png")), (Metadata{"public.png", 64, 32, 1}));
    EXPECT_EQ(metadata(written(image, "jpeg")), (Metadata{"public.jpeg", 64, 32, 1}));
    EXPECT_EQ(metadata(written(image, "tiff")), (Metadata{"public.tiff", 64, 32, 1}));
    EXPECT_EQ(metadata(written(image, "webp")), (Metadata{"org.webmproject.webp", 64, 32, 1}));
    // A minimal decodable GIF.
    const QByteArray tinyGIF = gif(1, 1, {GIFFrame{}});
    EXPECT_EQ(metadata(tinyGIF), (Metadata{"com.compuserve.gif", 1, 1, 1}));
    for (const char* format : {"png", "jpeg", "tiff", "webp"})
        EXPECT_EQ(validatedImage(written(image, format)).size(), QSize(64, 32)) << format;
}

TEST(OCRRasterPolicy, TheTypeComesFromTheBytes)
{
    // A PNG is a PNG whatever it was called; HEIC has no decoder here; other formats are refused.
    const QImage image = sample(8, 8);
    EXPECT_EQ(metadata(written(image, "png"))->typeIdentifier, "public.png");
    EXPECT_EQ(metadata(written(image, "bmp")), std::nullopt);
    EXPECT_EQ(metadata(QByteArray("\0\0\0\x18" "ftypheic\0\0\0\0mif1heic", 24)), std::nullopt);
    EXPECT_EQ(metadata(QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"/>")), std::nullopt);
    EXPECT_EQ(metadata(QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")), std::nullopt);
    EXPECT_EQ(metadata(QByteArray("II+\0\x08\0\0\0", 8)), std::nullopt); // BigTIFF
}

TEST(OCRRasterPolicy, EncodedSizeLimit)
{
    EXPECT_EQ(metadata(QByteArray()), std::nullopt);
    const QByteArray header = png(100, 100);
    QByteArray atLimit = header + QByteArray(maximumBytes - header.size(), '\0');
    EXPECT_EQ(metadata(atLimit), (Metadata{"public.png", 100, 100, 1}));
    atLimit.append('\0');
    EXPECT_EQ(metadata(atLimit), std::nullopt);
}

TEST(OCRRasterPolicy, DimensionAndPixelLimits)
{
    EXPECT_EQ(metadata(png(20'000, 2'000)), (Metadata{"public.png", 20'000, 2'000, 1}));
    EXPECT_EQ(metadata(png(20'001, 10)), std::nullopt);
    EXPECT_EQ(metadata(png(10, 20'001)), std::nullopt);
    EXPECT_EQ(metadata(png(8'000, 6'000)), std::nullopt);
    EXPECT_EQ(metadata(png(0, 10)), std::nullopt);
    EXPECT_EQ(metadata(png(0xffffffffu, 0xffffffffu)), std::nullopt);
    EXPECT_EQ(metadata(tiff({{20'001, 10}})), std::nullopt);
}

TEST(OCRRasterPolicy, FrameCountLimit)
{
    EXPECT_EQ(metadata(gif(10, 10, std::vector<GIFFrame>(100))), (Metadata{"com.compuserve.gif", 10, 10, 100}));
    EXPECT_EQ(metadata(gif(10, 10, std::vector<GIFFrame>(101))), std::nullopt);
    EXPECT_EQ(metadata(png(10, 10, 100u)), (Metadata{"public.png", 10, 10, 100}));
    EXPECT_EQ(metadata(png(10, 10, 101u)), std::nullopt);
    EXPECT_EQ(metadata(png(10, 10, 0u)), std::nullopt);
    EXPECT_EQ(metadata(tiff(std::vector<std::pair<quint32, quint32>>(100, {4, 4})))->frameCount, 100);
    EXPECT_EQ(metadata(tiff(std::vector<std::pair<quint32, quint32>>(101, {4, 4}))), std::nullopt);
    // A directory chain that loops is never walked for ever.
    EXPECT_EQ(metadata(tiff({{4, 4}, {4, 4}}, true)), std::nullopt);
}

TEST(OCRRasterPolicy, PixelBudgetIsSummedOverFrames)
{
    // Two 5000 x 5000 pages: the second exceeds what the first left of the budget.
    EXPECT_EQ(metadata(tiff({{5'000, 5'000}})), (Metadata{"public.tiff", 5'000, 5'000, 1}));
    EXPECT_EQ(metadata(tiff({{5'000, 5'000}, {5'000, 5'000}})), std::nullopt);
    EXPECT_EQ(metadata(animatedWebP(5'000, 5'000, {{0, 0, 5'000, 5'000}, {0, 0, 5'000, 5'000}})), std::nullopt);
    // Forty medium GIF frames of 1 MP fit; 41 do not.
    EXPECT_TRUE(metadata(gif(1'000, 1'000, std::vector<GIFFrame>(40))));
    EXPECT_EQ(metadata(gif(1'000, 1'000, std::vector<GIFFrame>(41))), std::nullopt);
}

TEST(OCRRasterPolicy, APageWhoseSizeIsMissingOrGivenTwiceIsRefused)
{
    // One directory entry per tag: (tag, type SHORT, count 1, value).
    auto page = [](const std::vector<std::pair<quint16, quint16>>& entries) {
        QByteArray bytes = QByteArray("II*\0", 4) + le32(8) + le16(quint16(entries.size()));
        for (const auto& [tag, value] : entries)
            bytes += le16(tag) + le16(3) + le32(1) + le16(value) + le16(0);
        return bytes + le32(0);
    };
    EXPECT_EQ(metadata(page({{256, 40}, {257, 30}})), (Metadata{"public.tiff", 40, 30, 1}));
    EXPECT_EQ(metadata(page({{256, 40}})), std::nullopt);
    EXPECT_EQ(metadata(page({{257, 30}})), std::nullopt);
    // Which of two widths a decoder uses is its own affair; the limits must hold for both.
    EXPECT_EQ(metadata(page({{256, 40}, {256, 60'000}, {257, 30}})), std::nullopt);
    EXPECT_EQ(metadata(page({{256, 60'000}, {256, 40}, {257, 30}})), std::nullopt);
    EXPECT_EQ(metadata(page({{256, 40}, {257, 30}, {257, 30}})), std::nullopt);
}

TEST(OCRRasterPolicy, LaterFramesDoNotChangeTheReportedSize)
{
    const auto meta = metadata(tiff({{30, 20}, {300, 200}}));
    EXPECT_EQ(meta, (Metadata{"public.tiff", 30, 20, 2}));
}

TEST(OCRRasterPolicy, AFrameLargerThanItsCanvasCountsAtItsOwnSize)
{
    // Qt reports the canvas for every GIF frame; the header of the frame itself is what counts.
    EXPECT_EQ(metadata(gif(10, 10, {GIFFrame{0, 0, 20'001, 1}})), std::nullopt);
    EXPECT_EQ(metadata(gif(10, 10, {GIFFrame{15'000, 0, 6'000, 1}})), std::nullopt);
    EXPECT_EQ(metadata(gif(10, 10, {GIFFrame{0, 0, 10, 10}, GIFFrame{0, 0, 7'000, 6'000}})), std::nullopt);
    EXPECT_EQ(metadata(gif(10, 10, {GIFFrame{0, 0, 40, 30}})), (Metadata{"com.compuserve.gif", 40, 30, 1}));
    EXPECT_EQ(metadata(animatedWebP(100, 100, {{0, 0, 100, 100}, {19'000, 0, 1'002, 10}})), std::nullopt);
    EXPECT_EQ(metadata(animatedWebP(100, 100, {{0, 0, 100, 100}, {0, 0, 50, 50}})),
              (Metadata{"org.webmproject.webp", 100, 100, 2}));
}

TEST(OCRRasterPolicy, TruncatedFilesAndJunkAreRefused)
{
    const QByteArray realPNG = written(sample(20, 10), "png");
    for (const int cut : {1, 8, 20, 24, 33})
        EXPECT_EQ(metadata(realPNG.left(cut)), std::nullopt) << cut;
    const QByteArray realJPEG = written(sample(20, 10), "jpeg");
    const qsizetype frameHeader = realJPEG.indexOf("\xff\xc0");
    ASSERT_GT(frameHeader, 0);
    for (qsizetype cut = 2; cut < frameHeader + 8; cut += 7)
        EXPECT_EQ(metadata(realJPEG.left(cut)), std::nullopt) << cut;
    const QByteArray realGIF = gif(4, 4, {GIFFrame{}});
    for (const int cut : {3, 6, 10, 12, 20})
        EXPECT_EQ(metadata(realGIF.left(cut)), std::nullopt) << cut;
    const QByteArray pages = tiff({{4, 4}, {4, 4}});
    for (const int cut : {4, 9, 20, 35})
        EXPECT_EQ(metadata(pages.left(cut)), std::nullopt) << cut;
    const QByteArray realWebP = written(sample(20, 10), "webp");
    for (const int cut : {4, 12, 20, 25})
        EXPECT_EQ(metadata(realWebP.left(cut)), std::nullopt) << cut;
    EXPECT_EQ(metadata(QByteArray("just some text")), std::nullopt);
    EXPECT_EQ(metadata(QByteArray(4096, '\xff')), std::nullopt);
    EXPECT_EQ(metadata(QByteArray("\xff\xd8\xff\xd9", 4)), std::nullopt);
}

TEST(OCRRasterPolicy, AJunkBodyBehindAValidHeaderDoesNotDecode)
{
    const QByteArray bytes = png(40, 40);
    ASSERT_TRUE(metadata(bytes));
    EXPECT_TRUE(validatedImage(bytes).isNull());
    EXPECT_TRUE(previewImage(bytes).isNull());
}

TEST(OCRRasterPolicy, OrientationIsAppliedToImagesButNotToMetadata)
{
    // EXIF orientation 6: the stored 40 x 20 pixels are shown turned by 90 degrees.
    const QByteArray tiffHeader = QByteArray("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 26);
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiffHeader;
    const QByteArray app1 = QByteArray("\xff\xe1", 2) + char((exif.size() + 2) >> 8) + char((exif.size() + 2) & 0xff) + exif;
    QByteArray bytes = written(sample(40, 20), "jpeg");
    bytes.insert(2, app1);
    EXPECT_EQ(metadata(bytes), (Metadata{"public.jpeg", 40, 20, 1}));
    EXPECT_EQ(validatedImage(bytes).size(), QSize(20, 40));
    EXPECT_EQ(previewImage(bytes).size(), QSize(20, 40));
}

TEST(OCRRasterPolicy, PreviewsAreBoundedOnTheLongerSide)
{
    EXPECT_EQ(previewImage(written(sample(3'000, 1'500), "png")).size(), QSize(1'600, 800));
    EXPECT_EQ(previewImage(written(sample(800, 600), "png")).size(), QSize(800, 600));
    EXPECT_TRUE(previewImage(written(sample(8, 8), "bmp")).isNull());
}

TEST(OCRRasterPolicy, LargeAcceptedImagesDecodeDespiteQtsDefaultAllocationLimit)
{
    // 9000 x 4000 = 36 MP, 144 MB as 32-bit pixels: above Qt's 128 MB default.
    QImage big(9'000, 4'000, QImage::Format_Grayscale8);
    big.fill(255);
    const QByteArray bytes = written(big, "png");
    ASSERT_TRUE(metadata(bytes));
    const QImage decoded = validatedImage(bytes);
    EXPECT_EQ(decoded.size(), QSize(9'000, 4'000));
    EXPECT_GE(QImageReader::allocationLimit(), decoderAllocationLimitMegabytes());
}
