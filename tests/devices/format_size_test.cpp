#include <gtest/gtest.h>

#include "devices/volume_list.h"

TEST(format_size, thresholds_are_strict) {
    struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {{0, "0B"},           {1024, "1024B"},          {1025, "1.00K"},
                 {1048576, "1024.00K"}, {1048577, "1.00M"},     {1073741824, "1024.00M"},
                 {1073741825, "1.00G"}, {5ULL << 40, "5120.00G"}};
    for (const auto& c : cases) EXPECT_EQ(format_size(c.bytes).toStdString(), c.text) << c.bytes;
}
