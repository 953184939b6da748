// The search itself: many files in one volume and across block boundaries, what happens
// after a file, unreadable blocks, pause and stop, and volumes addressed by their GUID path.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/test_seam.h"
#include "platform/trace.h"
#include "platform/volumes.h"
#include "tests/calloway/carve_harness.h"
#include "tests/calloway/samples.h"
#include "tests/support/test_support.h"

namespace {

using carve_test::found_s;
using carve_test::volume_image;
using namespace std::chrono_literals;

constexpr uint64_t MiB = 1024 * 1024;
constexpr uint64_t block = 8 * MiB;  // the scan's read block

class scan_test : public ::testing::Test {
protected:
    void TearDown() override {
        platform::test::remove_memory_disks();
        platform::test::reset_disk_settings();
        platform::test::set_disk_list(std::nullopt);
        platform::trace_to_stdout();
    }

    // Places a sample and remembers what the scan must report for it.
    void plant(volume_image& image, uint64_t offset, const std::string& name) {
        const samples::sample_s& sample = samples::named(name);
        image.place(offset, sample.data);
        expected_.push_back({sample.type, static_cast<int64_t>(offset), sample.data.size()});
    }

    std::vector<found_s> expected_;
};

// Runs a scan on its own thread, so that a test can pause and stop it.
class background_scan {
public:
    explicit background_scan(std::string path) : path_(std::move(path)) {}
    ~background_scan() {
        session.params.stop = 1;
        if (thread_.joinable()) thread_.join();
    }
    void start() {
        thread_ = std::thread([this] {
            session.run(path_);
            done_ = true;
        });
    }
    bool wait_done(std::chrono::seconds timeout = 10s) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done_ && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
        if (done_) thread_.join();
        return done_;
    }
    bool done() const { return done_; }

    carve_test::recorded_scan_s session;

private:
    std::string path_;
    std::thread thread_;
    std::atomic<bool> done_{false};
};

TEST_F(scan_test, finds_every_sample_in_one_volume_also_across_block_boundaries) {
    const auto& gif = samples::named("gif").data;
    uint64_t last_sector = 2 * block + 4 * 512;
    volume_image image(last_sector + gif.size(), 5);  // the gif ends with the volume
    uint64_t offset = 64 * 1024;
    int index = 0;
    for (const samples::sample_s& sample : samples::all()) {
        if (sample.name == "mp3_untagged" || sample.name == "gif") continue;
        plant(image, offset, sample.name);
        offset = carve_test::round_up_to_sector(offset + sample.data.size() + (index++ * 1237) % 8192);
    }
    ASSERT_LT(offset, block - 64 * 1024);
    // The first read holds a block and the look-ahead after it: a header in its last sector is
    // tested once the next read brought the bytes after it (this one's test needs 1 KiB).
    plant(image, block + 64 * 1024 - 512, "mp3_untagged");
    plant(image, last_sector, "gif");

    carve_test::recorded_scan_s session;
    session.run(image.as_memory_disk("many"));
    EXPECT_EQ(session.outcome.files, expected_);
    EXPECT_EQ(session.outcome.report.files_found, expected_.size());
    EXPECT_EQ(session.outcome.report.bytes_scanned, image.bytes().size());
    EXPECT_EQ(session.params.progress.load(), 1.0);
    const auto& progress = session.outcome.progress_at_find;
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GE(progress.front(), 0.0);
    EXPECT_LT(progress.back(), 1.0);
}

// A WAV file of `size` bytes whose sound data holds a PNG at a sector boundary.
samples::bytes wave_holding_a_png(size_t size, uint64_t png_at) {
    samples::byte_writer out;
    out.text("RIFF").le32(size - 8).text("WAVE").text("fmt ").le32(16);
    out.le16(1).le16(2).le32(44100).le32(176400).le16(4).le16(16);
    out.text("data").le32(size - out.size() - 8);
    samples::bytes sound = samples::noise(size - out.size(), 44);
    const auto& png = samples::named("png").data;
    std::copy(png.begin(), png.end(), sound.begin() + static_cast<std::ptrdiff_t>(png_at - out.size()));
    out.raw(sound);
    return out.data;
}

TEST_F(scan_test, a_file_larger_than_a_block_is_passed_over_whole) {
    volume_image image(24 * MiB, 12);
    samples::bytes wave = wave_holding_a_png(10 * MiB + 3000, 9 * MiB);
    image.place(3 * MiB, wave);
    expected_.push_back({"wav", static_cast<int64_t>(3 * MiB), wave.size()});
    plant(image, carve_test::round_up_to_sector(13 * MiB + 3000), "gif");  // the sector after the wav
    EXPECT_EQ(carve_test::scan(image.as_memory_disk("large")).files, expected_);
}

// A zip whose stored entry is a JPEG starting at a sector boundary.
samples::bytes zip_holding_a_jpeg(uint64_t& jpeg_offset_in_zip) {
    const std::string name = "photo.jpg";
    size_t extra = 512 - (30 + name.size());  // puts the entry's data at byte 512
    jpeg_offset_in_zip = 512;
    return samples::zip_archive({{name, samples::named("jpg").data, false, false, extra}});
}

TEST_F(scan_test, goes_on_after_a_file_and_looks_inside_it_only_when_its_type_is_off) {
    uint64_t inner = 0;
    samples::bytes zip = zip_holding_a_jpeg(inner);
    volume_image image(1 * MiB, 6);
    image.place(128 * 1024, zip);
    std::string path = image.as_memory_disk("nested");

    EXPECT_EQ(carve_test::scan(path).files, (std::vector<found_s>{{"zip", 128 * 1024, zip.size()}}));

    test_support::scratch_dir dir;
    std::ofstream(dir.file("Tarnwell.conf")) << "zip = off\n";
    ASSERT_EQ(carve_init(dir.file("Tarnwell.conf").c_str()), 0);
    auto files = carve_test::scan(path).files;
    carve_init(dir.file("absent.conf").c_str());
    size_t jpeg_size = samples::named("jpg").data.size();
    EXPECT_EQ(files, (std::vector<found_s>{{"jpg", static_cast<int64_t>(128 * 1024 + inner), jpeg_size}}));
}

TEST_F(scan_test, skips_and_counts_an_unreadable_block_and_goes_on) {
    volume_image image(12 * MiB, 8);
    plant(image, 1 * MiB, "png");
    image.place(4 * MiB - 2048, samples::named("jpg").data);  // runs into the damage: not reported
    plant(image, 4 * MiB + 128 * 1024, "gif");                // same read piece, readable part
    plant(image, 9 * MiB, "pdf");
    std::string path = image.as_memory_disk("damaged");
    platform::test::add_bad_range(path, 4 * MiB + 100, 200);
    std::string trace;
    platform::set_trace_sink([&](const std::string& text) { trace += text; });

    auto outcome = carve_test::scan(path);
    EXPECT_EQ(outcome.files, expected_);
    EXPECT_EQ(outcome.report.unreadable_blocks, 1u);
    EXPECT_EQ(outcome.report.unreadable_bytes, 64u * 1024);
    EXPECT_EQ(outcome.report.bytes_scanned, 12 * MiB);
    EXPECT_NE(trace.find("unreadable block at byte 4194304"), std::string::npos) << trace;
}

TEST_F(scan_test, pause_holds_the_scan_and_stop_ends_it_while_paused) {
    volume_image image(24 * MiB, 9);
    plant(image, 20 * MiB, "png");
    background_scan scan(image.as_memory_disk("paused"));
    scan.session.params.pause = 1;
    scan.start();
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(scan.done());
    EXPECT_EQ(scan.session.params.progress.load(), 0.0);
    scan.session.params.stop = 3;
    ASSERT_TRUE(scan.wait_done());
    EXPECT_TRUE(scan.session.outcome.files.empty());
    EXPECT_LT(scan.session.outcome.report.bytes_scanned, 24 * MiB);
    EXPECT_LT(scan.session.params.progress.load(), 1.0);
}

TEST_F(scan_test, resumes_after_a_pause) {
    volume_image image(24 * MiB, 10);
    plant(image, 20 * MiB, "png");
    background_scan scan(image.as_memory_disk("resumed"));
    scan.session.params.pause = 1;
    scan.start();
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(scan.done());
    scan.session.params.pause = 0;
    ASSERT_TRUE(scan.wait_done());
    EXPECT_EQ(scan.session.outcome.files, expected_);
    EXPECT_EQ(scan.session.params.progress.load(), 1.0);
}

TEST_F(scan_test, stop_set_while_running_ends_the_scan_early) {
    volume_image image(24 * MiB, 11);
    plant(image, 1 * MiB, "png");
    image.place(10 * MiB, samples::named("gif").data);
    image.place(20 * MiB, samples::named("pdf").data);
    carve_test::recorded_scan_s session;
    session.after_find = [](carve_test::recorded_scan_s& self) { self.params.stop = 3; };
    session.run(image.as_memory_disk("stopped"));
    EXPECT_EQ(session.outcome.status, 0);
    EXPECT_EQ(session.outcome.files, expected_);
    EXPECT_LT(session.outcome.report.bytes_scanned, 10 * MiB);
}

TEST_F(scan_test, a_missing_volume_is_refused) {
    carve_test::recorded_scan_s session;
    session.run("\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\");
    EXPECT_EQ(session.outcome.status, -1);
    EXPECT_TRUE(session.outcome.files.empty());
    EXPECT_EQ(carve_open("\\\\?\\Volume{00000000-0000-0000-0000-000000000000}"), nullptr);
    char buffer[16];
    EXPECT_EQ(carve_read(nullptr, buffer, sizeof buffer), -1);
    EXPECT_EQ(carve_seek(nullptr, 0, 0), -1);
    EXPECT_EQ(carve_close(nullptr), -1);
}

}  // namespace
