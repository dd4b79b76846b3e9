// The state a chaining program hands over: the file, the directory and the
// command line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "errors.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

// Any box (only a critical error shows one here) stays off the screen.
int answer_yes(const char*, const char*, unsigned) { return platform::IDYES; }

namespace fs = std::filesystem;

class ChainData : public ::testing::Test {
  protected:
    void SetUp() override {
        runtime_init(false);
        platform::set_message_box_hook(answer_yes);
        home = fs::current_path();
        char pattern[] = "/tmp/chain_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = fs::canonical(pattern);
        fs::create_directory(root / "work");
        fs::current_path(root);
    }
    void TearDown() override {
        fs::current_path(home);
        fs::remove_all(root);
        runtime_command_line.clear();
        platform::set_message_box_hook(nullptr);
    }
    void write(const std::string& name, const std::string& contents) { std::ofstream(root / name) << contents; }
    fs::path home, root;
};

constexpr const char* tag = "(unique-tag:=/@*$+-)";

TEST_F(ChainData, HandOverRestoresDirectoryAndTrimsTheCommandLine) {
    struct Case {
        std::string before, after;
    } cases[] = {{std::string("prog arg ") + tag + "chain001.tmp", "prog arg"},
                 {std::string(tag) + "chainAbC.tmp", ""}};
    for (const Case& c : cases) {
        fs::current_path(root);
        const std::string name = c.before.substr(c.before.size() - 12);
        write(name, "directory=" + (root / "work").string() + "\r\nscreen_mode=0\n");
        runtime_command_line = c.before;
        receive_chain_data();
        EXPECT_EQ(pending_error.load(), 0);
        EXPECT_EQ(fs::current_path(), root / "work");
        EXPECT_FALSE(fs::exists(root / name));
        EXPECT_EQ(runtime_command_line, c.after);
    }
}

// The sender writes the hand-over file in the directory the receiver
// starts in, its executable's: start-up makes that the current directory,
// wherever the process was started.
TEST_F(ChainData, StartUpMakesTheExecutablesDirectoryCurrent) {
    ASSERT_NE(fs::current_path(), fs::canonical("/proc/self/exe").parent_path());
    runtime_init(false);
    EXPECT_EQ(fs::current_path(), fs::canonical("/proc/self/exe").parent_path());
}

TEST_F(ChainData, OtherCommandLinesDoNothing) {
    const std::string names[] = {"chain001.tmq", "chbin001.tmp", "chain01.tmp", "xchain01.tmp"};
    for (const std::string& name : names) write(name, "directory=work\nscreen_mode=0\n");
    const std::string lines[] = {
        std::string("prog ") + tag + "chain001.tmq",
        std::string("prog ") + tag + "chbin001.tmp",
        std::string("prog ") + tag + "chain01.tmp",
        std::string("prog (unique-tag:=/@*$+=)chain001.tmp"),
        std::string("prog ") + tag + "chain001.tmp trailing",
        "chain001.tmp",
        "",
    };
    for (const std::string& line : lines) {
        runtime_command_line = line;
        receive_chain_data();
        EXPECT_EQ(runtime_command_line, line);
        EXPECT_EQ(fs::current_path(), root);
        EXPECT_EQ(pending_error.load(), 0);
    }
    for (const std::string& name : names) EXPECT_TRUE(fs::exists(root / name)) << name;
}

TEST_F(ChainData, BadHandOverFilesRaiseAnError) {
    struct Case {
        const char* contents;  // null: no file
        int32_t code;
    } cases[] = {
        {nullptr, 53},
        {"directory=work\n", 62},
        {"", 62},
        {"directory=work\nscreen_mode=twelve\n", 5},
        {"directory=work\nscreen_mode=99999999999\n", 5},
        {"directory=work\nscreen_mode=0\nextra\n", 5},
        {"directory=no/such/place\nscreen_mode=0", 76},
    };
    for (const Case& c : cases) {
        errors_init();
        fs::current_path(root);
        if (c.contents) write("chain123.tmp", c.contents);
        runtime_command_line = std::string("prog ") + tag + "chain123.tmp";
        receive_chain_data();
        EXPECT_EQ(pending_error.load(), c.code) << (c.contents ? c.contents : "(no file)");
        EXPECT_EQ(fs::current_path(), root);
        EXPECT_EQ(runtime_command_line, "prog");
        fs::remove_all(root / "chain123.tmp");
    }
    EXPECT_EQ(std::string(error_text(53)), "File not found");
    EXPECT_EQ(std::string(error_text(57)), "Device I/O error");
    EXPECT_EQ(std::string(error_text(62)), "Input past end of file");
    EXPECT_EQ(std::string(error_text(76)), "Path not found");
}

// A name that is not a regular file is not the sender's file: "File not
// found", as for a missing one, and the thing stays. A FIFO must not block
// the start while nobody writes to it.
TEST_F(ChainData, WhatIsNoRegularFileIsNotFoundAndStays) {
    struct Case {
        const char* what;
        bool (*make)(const fs::path&);
    } cases[] = {
        {"directory", [](const fs::path& p) { return fs::create_directory(p); }},
        {"fifo", [](const fs::path& p) { return mkfifo(p.c_str(), 0600) == 0; }},
    };
    for (const Case& c : cases) {
        errors_init();
        fs::current_path(root);
        const fs::path path = root / "chain456.tmp";
        ASSERT_TRUE(c.make(path)) << c.what;
        runtime_command_line = std::string("prog ") + tag + "chain456.tmp";
        auto received = std::async(std::launch::async, receive_chain_data);
        const bool returned = received.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (!returned) {
            // A writer that comes and goes lets a blocked open go on.
            const int writer = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) close(writer);
        }
        received.wait();
        EXPECT_TRUE(returned) << c.what << ": the open blocked";
        EXPECT_EQ(pending_error.load(), 53) << c.what;
        EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << c.what << " deleted";
        EXPECT_EQ(fs::current_path(), root) << c.what;
        EXPECT_EQ(runtime_command_line, "prog") << c.what;
        fs::remove_all(path);
    }
}

}  // namespace
