// Our MBR loader booted in a PC emulator: it must start the active partition's boot sector the
// standard way, and report a bad table, a load error and a missing system with its messages.
// The screen is read through the emulator monitor (text memory at 0xB8000).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>

#include "partition/boot_code.h"
#include "partition/master_boot_record.h"
#include "partition/partition_repair.h"
#include "platform/byte_reader.h"
#include "tests/partition/partition_test_disks.h"
#include "tests/support/test_support.h"

using namespace partition_test;

namespace {

const char* const marker_ok = "TARNWELL MARKER OK";
const char* const final_texts[] = {"TARNWELL MARKER OK", "TARNWELL MARKER BAD", "Invalid partition table",
                                   "Error loading operating system", "Missing operating system"};

std::optional<std::string> emulator() {
    for (const char* binary : {"qemu-system-x86_64", "qemu-system-i386"})
        if (test_support::have_tool(binary)) return std::string(binary);
    return std::nullopt;
}

// 80 x 25 text cells of character and attribute bytes, as lines.
std::string screen_text(const std::vector<uint8_t>& memory) {
    std::string text;
    for (size_t row = 0; row < 25; ++row) {
        std::string line;
        for (size_t column = 0; column < 80; ++column) {
            size_t at = (row * 80 + column) * 2;
            char c = at < memory.size() ? static_cast<char>(memory[at]) : ' ';
            line += (c >= 0x20 && c < 0x7F) ? c : ' ';
        }
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + "\n";
    }
    return text;
}

bool shows_final_text(const std::string& screen) {
    for (const char* text : final_texts)
        if (screen.find(text) != std::string::npos) return true;
    return false;
}

// Boots the image (never writing to it) and returns the screen once the loader or the marker
// has spoken, or what it showed when the wait ran out.
std::string boot_and_read_screen(const std::string& qemu, const std::string& image, const std::string& work) {
    ::signal(SIGPIPE, SIG_IGN);  // the emulator may end before the monitor pipe is closed
    const std::string dump = work + "/screen.bin";
    const std::string command = "timeout 180 " + qemu +
                                " -display none -no-reboot -m 16 -nic none -serial null -monitor stdio"
                                " -drive file='" + image + "',format=raw,if=ide,snapshot=on -boot c"
                                " >/dev/null 2>'" + work + "/qemu.log'";
    FILE* monitor = ::popen(command.c_str(), "w");
    if (!monitor) return {};
    std::string screen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < deadline) {
        std::fprintf(monitor, "pmemsave 0xb8000 4000 \"%s\"\n", dump.c_str());
        std::fflush(monitor);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        screen = screen_text(test_support::read_file(dump));
        if (shows_final_text(screen)) break;
    }
    std::fprintf(monitor, "quit\n");
    std::fflush(monitor);
    ::pclose(monitor);
    if (!shows_final_text(screen)) {
        auto log = test_support::read_file(work + "/qemu.log");
        screen += "[emulator log]\n" + std::string(log.begin(), log.end());
    }
    return screen;
}

sector_bytes marker_sector(uint64_t first_sector, uint64_t total_sectors) {
    auto bytes = test_support::read_file(MARKER_BOOT_SECTOR);
    sector_bytes sector{};
    EXPECT_EQ(bytes.size(), 512u);
    std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), 512), sector.begin());
    platform::put_le(sector.data() + 0x1C, first_sector, 4);
    platform::put_le(sector.data() + 0x28, total_sectors, 8);
    return sector;
}

struct slot_s {
    uint8_t status;
    uint8_t type;
    uint32_t first;
    uint32_t count;
};

// Sector 0 built by hand around our boot code, for the tables our own rewrite never writes.
sector_bytes hand_made_mbr(const std::vector<slot_s>& entries) {
    sector_bytes sector{};
    std::copy(boot_code().begin(), boot_code().end(), sector.begin());
    for (size_t k = 0; k < entries.size() && k < 4; ++k) {
        uint8_t* slot = sector.data() + 446 + 16 * k;
        slot[0] = entries[k].status;
        auto first = chs_triple(entries[k].first, 255, 63), last = chs_triple(entries[k].first + entries[k].count - 1, 255, 63);
        std::copy(first.begin(), first.end(), slot + 1);
        slot[4] = entries[k].type;
        std::copy(last.begin(), last.end(), slot + 5);
        platform::put_le(slot + 8, entries[k].first, 4);
        platform::put_le(slot + 12, entries[k].count, 4);
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

class partition_boot : public disk_test {};

}  // namespace

TEST_F(partition_boot, loader_is_440_bytes_of_code) {
    EXPECT_EQ(boot_code().size(), 440u);
    EXPECT_NE(boot_code()[0], 0);  // assembled code, not an empty blob
}

// The whole repair: a wiped disk is searched, its table rewritten, and the BIOS boot reaches
// the partition's boot sector through our loader.
TEST_F(partition_boot, repaired_disk_boots_the_partition) {
    auto qemu = emulator();
    if (!qemu) GTEST_SKIP() << "qemu-system-x86_64 absent (scripts/install-qemu.sh installs it)";
    test_support::scratch_dir dir;
    std::string image = dir.file("disk.img");
    make_disk(image, 4);
    write_sector(image, 2048, marker_sector(2048, 4000));

    partition_repair_c repair;
    ASSERT_TRUE(repair.search_now(drive_for(image)));
    ASSERT_EQ(repair.partitions().size(), 1);
    ASSERT_EQ(repair.write_partition_table(), 0) << table_write_message(repair.last_write_result()).toStdString();

    std::string screen = boot_and_read_screen(*qemu, image, dir.path());
    EXPECT_NE(screen.find(marker_ok), std::string::npos) << screen;
}

TEST_F(partition_boot, loader_outcomes_for_hand_made_tables) {
    auto qemu = emulator();
    if (!qemu) GTEST_SKIP() << "qemu-system-x86_64 absent (scripts/install-qemu.sh installs it)";
    struct boot_case_s {
        const char* name;
        std::vector<slot_s> entries;
        const char* expected;
    };
    const std::vector<boot_case_s> cases = {
        {"active entry in slot 3", {{0x00, 0x83, 10'000, 100}, {}, {0x80, 0x07, 2048, 4001}}, marker_ok},
        {"two active entries", {{0x80, 0x07, 2048, 4001}, {0x80, 0x83, 10'000, 100}}, "Invalid partition table"},
        {"no active entry", {{0x00, 0x07, 2048, 4001}}, "Invalid partition table"},
        {"partition without boot signature", {{0x80, 0x07, 20'000, 100}}, "Missing operating system"},
        {"partition beyond the disk", {{0x80, 0x07, 0x7FFF0000, 100}}, "Error loading operating system"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test_support::scratch_dir dir;
        std::string image = dir.file("disk.img");
        make_disk(image, 4);
        write_sector(image, 2048, marker_sector(2048, 4000));
        write_sector(image, 0, hand_made_mbr(c.entries));
        std::string screen = boot_and_read_screen(*qemu, image, dir.path());
        EXPECT_NE(screen.find(c.expected), std::string::npos) << screen;
    }
}
