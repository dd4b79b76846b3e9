#include <gtest/gtest.h>

#include "runtime.h"
#include "screen_runtime.h"

TEST(Placeholder, RuntimeStarts) {
    runtime_init(false);
    EXPECT_EQ(pending_error.load(), 0);
}
