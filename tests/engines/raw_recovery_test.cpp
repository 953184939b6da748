// The deep-scan engine: entries and type folders from a real carving run, and extraction of
// entries at exact, unaligned and unreachable offsets.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include "engines/raw_recovery.h"
#include "platform/test_seam.h"
#include "tests/engines/engine_test_support.h"
#include "tests/support/test_support.h"

namespace {

std::vector<uint8_t> image_bytes(const char* format, int width) {
    QImage image(width, 24, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 7 % 256, y * 11 % 256, (x ^ y) % 256));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return std::vector<uint8_t>(data.begin(), data.end());
}

void platform_put(std::vector<uint8_t>& bytes, size_t offset, uint64_t value) {
    for (size_t i = 0; i < 8; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct planted_s {
    uint64_t offset;
    std::vector<uint8_t> data;
};

// A disk without partition table holding the files at their offsets.
std::string planted_disk(const std::vector<planted_s>& files, size_t size = 4 << 20) {
    auto disk = std::make_shared<std::vector<uint8_t>>(size, 0);
    for (const auto& file : files) std::copy(file.data.begin(), file.data.end(), disk->begin() + file.offset);
    platform::test::add_memory_disk("deep", disk);
    return "mem:deep";
}

}  // namespace

TEST(deep_engine, files_found_become_numbered_entries_grouped_by_type) {
    std::vector<planted_s> files{{4096, image_bytes("PNG", 40)},
                                 {65536, image_bytes("BMP", 30)},
                                 {131072, image_bytes("PNG", 50)},
                                 {262144, image_bytes("BMP", 20)}};
    engine_test::attached_disks disks({planted_disk(files)});
    raw_recovery_c engine;
    volume_item_s volume = disks.volume(0, 0);
    ASSERT_TRUE(volume.volume_name.endsWith("\\"));
    ASSERT_TRUE(engine_test::scan(engine, volume));
    EXPECT_EQ(engine.volume_path(), volume.volume_name.chopped(1).toStdString());

    ASSERT_EQ(engine.entries().size(), 4u);
    const auto& types = engine.type_map().types();
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].first, "png");
    EXPECT_EQ(types[0].second, (std::vector<uint64_t>{0, 2}));
    EXPECT_EQ(types[1].first, "bmp");
    EXPECT_EQ(types[1].second, (std::vector<uint64_t>{1, 3}));
    EXPECT_EQ(raw_recovery_c::row_name(engine.entries()[2]), "00000002.png");

    auto shown = engine_test::shown_rows(engine_deep, engine);
    EXPECT_TRUE(shown["/"].isEmpty());
    ASSERT_EQ(shown["/bmp"].size(), 2);
    EXPECT_EQ(shown["/bmp"][1].name, "00000003.bmp");
    EXPECT_EQ(shown["/bmp"][1].id, 3u);

    QTemporaryDir out;
    for (size_t i = 0; i < files.size(); ++i) {
        QString path = out.filePath(QString::number(i));
        ASSERT_EQ(engine.extract(i, path), 0);
        EXPECT_EQ(test_support::read_file(path.toStdString()), files[i].data) << i;
    }
    EXPECT_EQ(engine.extract(4, out.filePath("none")), -1);
}

// Entries loaded from a scan file may sit anywhere; extraction must honour their exact offset.
TEST(deep_engine, extraction_starts_at_the_exact_offset_and_fails_when_cut_short) {
    std::vector<uint8_t> marker(3000);
    for (size_t i = 0; i < marker.size(); ++i) marker[i] = static_cast<uint8_t>(i * 13 + 1);
    engine_test::attached_disks disks({planted_disk({{1048700, marker}, {1048576 * 3, marker}})});
    volume_item_s volume = disks.volume(0, 0);

    QTemporaryDir dir;
    std::vector<uint8_t> file(256, 0);
    std::string header = volume.volume_name.chopped(1).toStdString();
    std::copy(header.begin(), header.end(), file.begin());
    auto add_entry = [&](uint64_t ordinal, int64_t offset, uint64_t length) {
        std::vector<uint8_t> entry(32, 0);
        platform_put(entry, 0, ordinal);
        platform_put(entry, 8, static_cast<uint64_t>(offset));
        platform_put(entry, 16, length);
        entry[24] = 'b', entry[25] = 'i', entry[26] = 'n';
        file.insert(file.end(), entry.begin(), entry.end());
    };
    add_entry(0, 1048700, 3000);                    // not on a sector boundary
    add_entry(1, 1048576 * 3, 3000);                // on one
    add_entry(2, 1048576 * 3, 0);                   // empty
    add_entry(3, (4 << 20) - 1000, 5000);           // runs past the end of the volume
    const std::string scan_file = dir.filePath("s.sav").toStdString();
    ASSERT_TRUE(test_support::write_file(scan_file, file));

    raw_recovery_c engine;
    ASSERT_EQ(engine.read_scan_file(scan_file), header);
    engine.set_volume(volume);
    struct {
        uint64_t id;
        int result;
        size_t size;
    } cases[] = {{0, 0, 3000}, {1, 0, 3000}, {2, 0, 0}, {3, -1, 1000}};
    for (const auto& c : cases) {
        QString path = dir.filePath(QString("out%1").arg(c.id));
        EXPECT_EQ(engine.extract(c.id, path), c.result) << c.id;
        auto data = test_support::read_file(path.toStdString());
        EXPECT_EQ(data.size(), c.size) << c.id;
        if (c.size == 3000) {
            EXPECT_EQ(data, marker) << c.id;
        }
    }
}
