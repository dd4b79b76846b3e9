// The program thread's halt: on a stop, and its acknowledgement.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "errors.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

std::atomic<int> boxes_shown{0};

int count_box(const char*, const char*, unsigned) {
    ++boxes_shown;
    return platform::IDYES;
}

class ProgramThread : public ::testing::Test {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        runtime_init(false);
        boxes_shown = 0;
        platform::set_message_box_hook(count_box);
    }
    void TearDown() override { platform::set_message_box_hook(nullptr); }
};

TEST_F(ProgramThread, StopHaltsIt) {
    EXPECT_EXIT(
        {
            stop_program = 1;
            close_program = 1;
            start_event_timer_thread();
            start_headless_main_loop_thread();
            raise_error(5);
            check_statement_events(1, 0, nullptr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
    // The halt acknowledges before it parks.
    EXPECT_EXIT(
        {
            std::thread([] {
                while (!(shutdown_ack.load() & program_thread_halted))
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::fflush(nullptr);
                std::_Exit(boxes_shown.load() == 0 ? 0 : 4);
            }).detach();
            stop_program = 1;
            raise_error(5);
            check_statement_events(1, 0, nullptr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
