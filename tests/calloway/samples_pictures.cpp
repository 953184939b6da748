// Pictures: Qt writes JPEG, PNG, BMP, TIFF and WebP; GIF and the special cases are built here.
#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include "tests/calloway/samples.h"

namespace samples {

namespace {

QImage test_picture() {
    QImage image(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) & 255));
    return image;
}

bytes to_bytes(const QByteArray& array) {
    return bytes(array.begin(), array.end());
}

bytes progressive_jpeg() {
    QByteArray array;
    QBuffer buffer(&array);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPG");
    writer.setProgressiveScanWrite(true);
    writer.write(test_picture());
    return to_bytes(array);
}

// An EXIF block whose thumbnail is a whole JPEG with its own EOI: the picture does not end there.
bytes jpeg_with_thumbnail() {
    QImage small = test_picture().scaled(16, 12);
    QByteArray thumb_array;
    QBuffer thumb_buffer(&thumb_array);
    thumb_buffer.open(QIODevice::WriteOnly);
    small.save(&thumb_buffer, "JPG");
    bytes thumbnail = to_bytes(thumb_array);
    bytes main = qt_image("JPG");

    byte_writer exif;
    exif.text("Exif").fill(2).text("II*").u8(0).le32(8);  // TIFF header inside the segment
    exif.le16(2);                                         // IFD with two entries
    exif.le16(513).le16(4).le32(1).le32(8 + 2 + 24 + 4);  // JPEGInterchangeFormat
    exif.le16(514).le16(4).le32(1).le32(thumbnail.size());
    exif.le32(0);
    exif.raw(thumbnail);
    byte_writer out;
    out.u8(0xFF).u8(0xD8).u8(0xFF).u8(0xE1).be16(exif.size() + 2).raw(exif.data);
    out.data.insert(out.data.end(), main.begin() + 2, main.end());
    return out.data;
}

bytes gif_picture() {
    byte_writer out;
    out.text("GIF89a").le16(1).le16(1).u8(0x80).u8(0).u8(0);  // screen with a two-colour table
    out.fill(3, 0xFF).fill(3, 0);
    out.u8(0x21).u8(0xF9).u8(4).u8(1).le16(0).u8(0).u8(0);  // graphic control extension
    out.u8(0x21).u8(0xFE);                                 // comment in three sub-blocks
    for (size_t length : {255, 255, 190}) out.u8(length).fill(length, 'c');
    out.u8(0);
    out.u8(0x2C).le16(0).le16(0).le16(1).le16(1).u8(0);  // image descriptor
    out.u8(2).u8(2).u8(0x44).u8(0x01).u8(0);              // LZW data of one pixel
    out.u8(0x3B);
    return out.data;
}

// Big-endian TIFF whose EXIF directory and its value come last, after the strips.
bytes big_endian_tiff() {
    constexpr uint32_t width = 16, height = 8;
    byte_writer out;
    out.text("MM").be16(42).be32(8);
    const uint32_t entries = 9;
    uint32_t ifd_end = 8 + 2 + 12 * entries + 4;
    uint32_t offsets_at = ifd_end, counts_at = ifd_end + 8, strips_at = ifd_end + 16;
    uint32_t strip = width * height / 2;
    uint32_t exif_at = strips_at + 2 * strip;
    out.be16(entries);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value, bool short_value = false) {
        out.be16(tag).be16(type).be32(count);
        if (short_value)
            out.be16(value).be16(0);
        else
            out.be32(value);
    };
    entry(256, 3, 1, width, true);
    entry(257, 3, 1, height, true);
    entry(258, 3, 1, 8, true);
    entry(259, 3, 1, 1, true);
    entry(262, 3, 1, 1, true);
    entry(273, 4, 2, offsets_at);
    entry(278, 3, 1, height / 2, true);
    entry(279, 4, 2, counts_at);
    entry(34665, 4, 1, exif_at);
    out.be32(0);
    out.be32(strips_at).be32(strips_at + strip).be32(strip).be32(strip);
    for (uint32_t i = 0; i < 2 * strip; ++i) out.u8(i * 7);
    static const char comment_text[] = "ASCII\0\0\0a comment stored last in the file";
    std::string comment(comment_text, sizeof comment_text - 1);
    out.be16(1).be16(37510).be16(7).be32(comment.size()).be32(exif_at + 2 + 12 + 4).be32(0);
    out.text(comment);
    return out.data;
}

}  // namespace

bytes qt_image(const char* format) {
    QByteArray array;
    QBuffer buffer(&array);
    buffer.open(QIODevice::WriteOnly);
    test_picture().save(&buffer, format);
    return to_bytes(array);
}

void add_pictures(std::vector<sample_s>& out) {
    out.push_back({"jpg", "jpg", qt_image("JPG")});
    out.push_back({"jpg_progressive", "jpg", progressive_jpeg()});
    out.push_back({"jpg_with_thumbnail", "jpg", jpeg_with_thumbnail()});
    out.push_back({"png", "png", qt_image("PNG")});
    out.push_back({"bmp", "bmp", qt_image("BMP")});
    out.push_back({"tif", "tif", qt_image("TIFF")});
    out.push_back({"tif_big_endian", "tif", big_endian_tiff()});
    out.push_back({"webp", "webp", qt_image("WEBP")});
    out.push_back({"gif", "gif", gif_picture()});
}

}  // namespace samples
