// Master file tables that lie: a run list that points outside the volume, one that points
// back at the table's own clusters, sizes that claim a terabyte. Each ends in a result code or
// a scan that stops at the table's end, and no recovered file outgrows the volume.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/test_seam.h"
#include "platform/volumes.h"
#include "tests/fixtures/ntfs_builder.h"
#include "tests/support/test_support.h"
#include "vessor/file_record.h"
#include "vessor/vessor.h"

namespace {

constexpr uint64_t terabyte = uint64_t{1} << 40;

// Where the unnamed non-resident $DATA of a record lies in the image.
struct data_attribute_s {
    size_t attribute = 0;  // image offset of the attribute header
    size_t pairs = 0;      // image offset of its mapping pairs
};

std::optional<data_attribute_s> find_data_attribute(const std::vector<uint8_t>& image, size_t record_offset) {
    std::vector<uint8_t> record(image.begin() + record_offset, image.begin() + record_offset + 1024);
    if (!vessor::apply_fixups(record.data(), record.size())) return std::nullopt;
    platform::byte_reader bytes(record.data(), record.size());
    for (size_t at = bytes.u16(20); bytes.has(at, 64);) {
        uint32_t type = bytes.u32(at), length = bytes.u32(at + 4);
        if (type == vessor::attribute_end || length == 0) break;
        if (type == vessor::attribute_data && bytes.u8(at + 8) == 1 && bytes.u8(at + 9) == 0)
            return data_attribute_s{record_offset + at, record_offset + at + bytes.u16(at + 32)};
        at += length;
    }
    return std::nullopt;
}

// Patches a field of a record in place; the bytes the update sequence protects stay clear.
void patch(std::vector<uint8_t>& image, size_t offset, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) ASSERT_LT((offset + i) % 512, 510u) << "field under a fix-up";
    platform::put_le(image.data() + offset, value, width);
}

// The width of the LCN field of the n-th mapping pair, and its offset in the image.
std::pair<size_t, size_t> lcn_field(const std::vector<uint8_t>& image, size_t pairs, int n) {
    size_t at = pairs;
    for (int i = 0; i < n; ++i) at += 1 + (image[at] & 0x0F) + (image[at] >> 4);
    return {at + 1 + (image[at] & 0x0F), image[at] >> 4};
}

int64_t peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class hostile_ntfs_test : public ::testing::Test {
protected:
    void TearDown() override {
        platform::test::set_disk_list(std::nullopt);
        platform::test::remove_memory_disks();
    }
};

TEST_F(hostile_ntfs_test, lying_run_lists_and_sizes_end_in_bounded_work) {
    ntfs_fixture::volume_options_s options;
    options.mft_fragments = 2;
    ntfs_fixture::ntfs_builder_c builder(options);
    const uint64_t file = builder.add_file(5, "file.bin", std::vector<uint8_t>(40'000, 'f'));
    std::vector<uint8_t> intact;
    ASSERT_TRUE(builder.build(intact)) << builder.error();
    auto table = find_data_attribute(intact, builder.record_offset(0));
    auto data = find_data_attribute(intact, builder.record_offset(file));
    ASSERT_TRUE(table && data);

    using patch_f = std::function<void(std::vector<uint8_t>&)>;
    auto sizes = [](size_t attribute, uint64_t size) {
        return [=](std::vector<uint8_t>& v) {
            for (size_t field : {40, 48, 56}) patch(v, attribute + field, size, 8);
        };
    };
    const struct {
        const char* what;
        patch_f patch;
    } cases[] = {
        {"table's first run beyond the volume",
         [&](auto& v) {
             auto [at, width] = lcn_field(v, table->pairs, 0);
             patch(v, at, (uint64_t{1} << (8 * width - 1)) - 1, width);
         }},
        {"table's second run back on its first",
         [&](auto& v) {
             auto [at, width] = lcn_field(v, table->pairs, 1);
             patch(v, at, 0, width);
         }},
        {"table's run at the boot sector",
         [&](auto& v) {
             auto [at, width] = lcn_field(v, table->pairs, 0);
             patch(v, at, 0, width);
         }},
        {"table claims a terabyte", sizes(table->attribute, terabyte)},
        {"file claims a terabyte", sizes(data->attribute, terabyte)},
        {"file's run beyond the volume",
         [&](auto& v) {
             auto [at, width] = lcn_field(v, data->pairs, 0);
             patch(v, at, (uint64_t{1} << (8 * width - 1)) - 1, width);
         }},
        {"file's run on the table",
         [&](auto& v) {
             auto [at, width] = lcn_field(v, data->pairs, 0);
             patch(v, at, platform::byte_reader(v.data(), 512).u64(48), width);
         }},
    };
    const int64_t rss_before = peak_rss_kib();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto image = std::make_shared<std::vector<uint8_t>>(intact);
        c.patch(*image);
        if (HasFatalFailure()) return;
        const std::vector<uint8_t> pristine = *image;
        platform::test::add_memory_disk("d0", image);
        platform::test::set_disk_list(std::vector<std::string>{"mem:d0"});
        platform::find_volumes();

        std::vector<uint8_t> context(vessor::context_size, 0);
        if (ntfs_scan_startup("/dev/hda0", context.data()) != 0) continue;  // refused: a result code
        const int64_t total = vessor::context_total(context.data());
        ASSERT_LE(static_cast<uint64_t>(total) * 1024, image->size()) << "a table larger than the volume";
        test_support::scratch_dir dir;
        uint8_t record[vessor::record_size];
        int64_t handed_out = 0;
        while (ntfs_scan_next(context.data(), record)) {
            ASSERT_LT(handed_out++, total) << "the scan went past the table's end";
            uint64_t number = vessor::layout::u64(record, vessor::record_number_offset);
            std::string target = dir.file(std::to_string(number));
            ntfs_recover_file(context.data(), number, target.c_str(), nullptr);
            struct stat info {};
            if (::stat(target.c_str(), &info) == 0) {
                EXPECT_LE(static_cast<uint64_t>(info.st_size), image->size()) << number;
            }
        }
        ntfs_scan_cleanup(context.data());
        EXPECT_EQ(*image, pristine);
    }
    // Nothing was allocated in proportion to what the sizes claimed.
    EXPECT_LT(peak_rss_kib() - rss_before, 512 * 1024);
}

}  // namespace
