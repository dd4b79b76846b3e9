// The program's static cells: their rounding and their blocks.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

// Any box (only a critical error shows one here) stays off the screen.
int answer_yes(const char*, const char*, unsigned) { return platform::IDYES; }

class StaticCells : public ::testing::Test {
  protected:
    void SetUp() override {
        runtime_init(false);  // the first block, fresh
        platform::set_message_box_hook(answer_yes);
    }
    void TearDown() override { platform::set_message_box_hook(nullptr); }
};

TEST_F(StaticCells, AreRoundedAndBlocksGrow) {
    constexpr size_t MiB = 1048576;
    char* a = static_cast<char*>(alloc_static_cell(4));
    char* b = static_cast<char*>(alloc_static_cell(1));
    char* c = static_cast<char*>(alloc_static_cell(8));
    char* d = static_cast<char*>(alloc_static_cell(0));
    char* e = static_cast<char*>(alloc_static_cell(9));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
    EXPECT_EQ(b, a + 8);
    EXPECT_EQ(c, b + 8);
    EXPECT_EQ(d, c + 8);
    EXPECT_EQ(e, d);
    // First block: 1 MiB, 40 bytes used. Fill it to 8 bytes before its end.
    char* f = static_cast<char*>(alloc_static_cell(static_cast<int32_t>(MiB - 40 - 8)));
    EXPECT_EQ(f, e + 16);
    // A top that reaches the end takes a new block of 8 + 2 MiB.
    char* g = static_cast<char*>(alloc_static_cell(8));
    EXPECT_FALSE(g >= a && g < a + MiB);
    // The next block is 2 MiB - 1 rounded + 2 * (2 MiB + 8) = 6 MiB + 16.
    char* h = static_cast<char*>(alloc_static_cell(static_cast<int32_t>(2 * MiB - 1)));
    EXPECT_NE(h, g + 8);
    char* i = static_cast<char*>(alloc_static_cell(static_cast<int32_t>(4 * MiB + 8)));
    EXPECT_EQ(i, h + 2 * MiB);
    char* j = static_cast<char*>(alloc_static_cell(8));
    EXPECT_NE(j, i + 4 * MiB + 8);
    // The old blocks stay usable.
    a[0] = 1;
    f[MiB - 49] = 2;
    i[4 * MiB + 7] = 3;
    // Cells come regardless of a pending error.
    raise_error(5);
    EXPECT_EQ(alloc_static_cell(4), j + 8);
    EXPECT_EQ(alloc_static_cell(-1), nullptr);
}

}  // namespace
