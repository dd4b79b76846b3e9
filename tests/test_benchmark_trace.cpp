// Runs the trace program and checks what it printed against pages built here
// from the font and the workloads' known end states.
//   test_benchmark_trace        the trace with the stand-in logarithm; keeps its lines
//   test_benchmark_trace --real the real routine, which must print the very lines the
//                               plain run kept
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "glyph_cells.h"

namespace {

bool real_logarithm = false;

struct Trace {
    std::vector<std::string> lines;
    int status = -1;
};

Trace run_trace(bool cheap) {
    Trace trace;
    std::string command = std::string(TRACE_PROGRAM) + (cheap ? " --cheap-log" : "");
    FILE* out = popen(command.c_str(), "r");
    if (!out) return trace;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        trace.lines.push_back(line);
    }
    trace.status = pclose(out);
    return trace;
}

std::string hash_of(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash);
    return text;
}

std::vector<uint8_t> graphics_page(uint8_t colour) { return std::vector<uint8_t>(640 * 480, colour); }

void put_text(std::vector<uint8_t>& page, int row, int column, const std::string& text) {
    const int left = 8 * (column - 1), top = 16 * (row - 1);
    for (int y = top; y < top + 16; ++y)
        for (int x = left; x < left + 8 * static_cast<int>(text.size()); ++x)
            page[static_cast<size_t>(y) * 640 + x] = glyphs::text_pixel<uint8_t>(text, left, top, x, y, 15, 0, 0);
}

struct Clear {
    uint64_t number = 0;
    std::string hash;
    uint64_t steps = 0;
};

Clear parse_clear(const std::string& line) {
    Clear c;
    char hash[17] = {};
    if (std::sscanf(line.c_str(), "clear %" SCNu64 " %16s %" SCNu64, &c.number, hash, &c.steps) == 3) c.hash = hash;
    return c;
}

void check(const Trace& trace) {
    ASSERT_TRUE(WIFEXITED(trace.status));
    EXPECT_EQ(WEXITSTATUS(trace.status), 0);
    ASSERT_EQ(trace.lines.size(), 20'010u);

    std::vector<Clear> clears;
    for (size_t i = 0; i < 20'007; ++i) {
        clears.push_back(parse_clear(trace.lines[i]));
        ASSERT_EQ(clears.back().number, i + 1) << trace.lines[i];
    }

    std::vector<uint8_t> banner_screen;
    for (int i = 0; i < 80 * 25; ++i) banner_screen.insert(banner_screen.end(), {32, 7});
    EXPECT_EQ(clears[0].hash, hash_of(banner_screen)) << "the start-up screen as it stands before line 3";
    EXPECT_EQ(clears[0].steps, 0u);

    EXPECT_EQ(clears[1].steps, 10'449'263u);
    EXPECT_EQ(clears[2].steps, 10'449'263u + 9'003'738u);
    EXPECT_EQ(clears[3].steps, 10'449'263u + 9'003'738u + 629'080u);
    EXPECT_EQ(clears[20'004].steps, 10'449'263u + 9'003'738u + 629'080u + 1'435'354u);

    EXPECT_EQ(clears[3].hash, hash_of(graphics_page(10))) << "workload 3 leaves its last colour";
    const std::string black = hash_of(graphics_page(0));
    EXPECT_EQ(clears[4].hash, black) << "the first delay of workload 4 runs on the cleared screen";
    EXPECT_EQ(clears[20'005].hash, black);
    EXPECT_EQ(clears[20'006].hash, black);

    EXPECT_EQ(trace.lines[20'007], "result Result:  123.40625 ");
    std::vector<uint8_t> prompt = graphics_page(0);
    put_text(prompt, 10, 30, "Result:  123.40625 ");
    put_text(prompt, 30, 1, "Press any key to continue");
    EXPECT_EQ(trace.lines[20'008], "final " + hash_of(prompt));
    EXPECT_EQ(trace.lines[20'009], "exit 0");
}

TEST(Trace, PrintsTheRoutinesRun) {
    if (!real_logarithm) {
        Trace cheap = run_trace(true);
        check(cheap);
        std::ofstream kept(KEPT_TRACE);
        for (const std::string& line : cheap.lines) kept << line << '\n';
        ASSERT_TRUE(kept.flush()) << KEPT_TRACE;
        return;
    }
    Trace real = run_trace(false);
    check(real);
    std::vector<std::string> cheap;
    std::ifstream kept(KEPT_TRACE);
    for (std::string line; std::getline(kept, line);) cheap.push_back(line);
    ASSERT_FALSE(cheap.empty()) << "no lines kept by the run with the stand-in logarithm in " << KEPT_TRACE;
    EXPECT_EQ(real.lines, cheap) << "the stand-in logarithm changes nothing the routine shows";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--real") == 0) real_logarithm = true;
    return RUN_ALL_TESTS();
}
