#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "errors.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "string_store.h"

namespace {

std::string bytes_of(const TextString* t) { return std::string(reinterpret_cast<const char*>(t->data), t->length); }

TextString* temp_of(const std::string& s) {
    TextString* t = new_text_string(static_cast<uint32_t>(s.size()), true);
    if (!s.empty()) std::memcpy(t->data, s.data(), s.size());
    return t;
}

TextString* var_of(const std::string& s) {
    TextString* v = new_text_string(0, false);
    return assign_text(v, temp_of(s));
}

// Lives in the program's read-only data: any write through a view faults.
const char kHello[] = "HELLO";

class TextStrings : public ::testing::Test {
protected:
    void SetUp() override { runtime_init(false); }
};

TEST_F(TextStrings, AssignTakesOverATemporaryWithoutCopying) {
    TextString* var = var_of("old");
    TextString* tmp = char_from_code('A');
    uint8_t* bytes = tmp->data;
    uint32_t in_use = string_descriptors_in_use();

    EXPECT_EQ(assign_text(var, tmp), var);
    EXPECT_EQ(var->data, bytes);
    EXPECT_EQ(bytes_of(var), "A");
    EXPECT_EQ(string_descriptors_in_use(), in_use - 1);  // the source went back to the pool
    EXPECT_FALSE(var->temporary);

    // The consumed entry is skipped by the release; the variable keeps its bytes.
    release_temp_strings(0, 0);
    EXPECT_EQ(bytes_of(var), "A");
    EXPECT_EQ(string_descriptors_in_use(), in_use - 1);
}

TEST_F(TextStrings, AssignCopiesFromPermanentAndReadOnlySources) {
    TextString* src = var_of("perm");
    TextString* dst = new_text_string(0, false);
    assign_text(dst, src);
    EXPECT_NE(dst->data, src->data);
    EXPECT_EQ(bytes_of(dst), "perm");
    EXPECT_EQ(bytes_of(src), "perm");

    uint32_t in_use = string_descriptors_in_use();
    TextString* lit = text_from_literal(kHello);
    EXPECT_EQ(lit->data, reinterpret_cast<const uint8_t*>(kHello));
    assign_text(dst, lit);
    EXPECT_NE(dst->data, reinterpret_cast<const uint8_t*>(kHello));
    EXPECT_EQ(bytes_of(dst), "HELLO");
    EXPECT_FALSE(dst->read_only);
    EXPECT_EQ(string_descriptors_in_use(), in_use);  // the literal's view was consumed

    assign_text(dst, text_from_literal_len(kHello, 2));
    EXPECT_EQ(bytes_of(dst), "HE");
    EXPECT_STREQ(kHello, "HELLO");
    EXPECT_EQ(text_from_literal(nullptr)->length, 0);
    EXPECT_EQ(text_from_literal_len(kHello, 0)->length, 0);
}

TEST_F(TextStrings, SelfAssignmentIsSafe) {
    TextString* var = var_of("keep");
    EXPECT_EQ(assign_text(var, var), var);
    EXPECT_EQ(bytes_of(var), "keep");

    TextString* tmp = temp_of("tmp");
    EXPECT_EQ(assign_text(tmp, tmp), tmp);
    EXPECT_EQ(bytes_of(tmp), "tmp");
    release_temp_strings(0, 0);
}

TEST_F(TextStrings, ReleaseFreesDownToTheMarkOnly) {
    TextString* below = temp_of("below");
    uint32_t mark = temp_string_count();
    temp_of("a");
    TextString* consumed = temp_of("b");
    temp_of("c");
    TextString* var = new_text_string(0, false);
    assign_text(var, consumed);
    uint32_t in_use = string_descriptors_in_use();

    EXPECT_EQ(release_temp_strings(mark, -1), -1);
    EXPECT_EQ(temp_string_count(), mark);
    EXPECT_EQ(string_descriptors_in_use(), in_use - 2);
    EXPECT_EQ(bytes_of(below), "below");
    EXPECT_EQ(bytes_of(var), "b");

    EXPECT_EQ(release_temp_strings(mark + 5, 3), 3);  // nothing above the mark: no effect
    EXPECT_EQ(bytes_of(below), "below");
    release_temp_strings(0, 0);
    EXPECT_EQ(string_descriptors_in_use(), in_use - 3);
}

TEST_F(TextStrings, EveryStringSurvivesStoreGrowthAndCompaction) {
    std::vector<std::pair<TextString*, std::string>> live;
    TextString* view = text_from_literal(kHello);
    uint32_t moves = string_store_moves();
    for (int round = 0; round < 6; ++round) {
        for (int i = 0; i < 3000; ++i) {
            std::string s(static_cast<size_t>(i % 97), static_cast<char>('a' + (i + round) % 26));
            s += std::to_string(i);
            live.emplace_back(var_of(s), s);
        }
        // Free every other string, then grow some survivors in place of a copy.
        std::vector<std::pair<TextString*, std::string>> kept;
        for (size_t i = 0; i < live.size(); ++i) {
            if (i % 2) {
                free_text_string(live[i].first);
            } else {
                if (i % 7 == 0) {
                    live[i].second += std::string(200, 'z');
                    TextString* longer = new_text_string(0, false);
                    assign_text(longer, live[i].first);  // copy of a permanent
                    assign_text(live[i].first, concat_text(longer, text_from_literal(std::string(200, 'z').c_str())));
                    free_text_string(longer);
                }
                kept.push_back(live[i]);
            }
        }
        live.swap(kept);
        release_temp_strings(1, 0);
    }
    EXPECT_GT(string_store_moves(), moves + 2);
    for (auto& [t, s] : live) ASSERT_EQ(bytes_of(t), s);
    EXPECT_EQ(view->data, reinterpret_cast<const uint8_t*>(kHello));  // views never move
    EXPECT_EQ(bytes_of(view), "HELLO");
}

TEST_F(TextStrings, FixedLengthDestinationKeepsItsLength) {
    TextString* f = new_fixed_text_string(5);
    EXPECT_EQ(bytes_of(f), "     ");
    struct Case {
        std::string source, expected;
    } cases[] = {{"AB", "AB   "}, {"ABCDEFG", "ABCDE"}, {"", "     "}, {"12345", "12345"}};
    for (const Case& c : cases) {
        TextString* tmp = temp_of(c.source);
        uint8_t* bytes = tmp->data;
        uint32_t in_use = string_descriptors_in_use();
        assign_text(f, tmp);
        EXPECT_EQ(bytes_of(f), c.expected) << c.source;
        EXPECT_NE(f->data, bytes);
        EXPECT_EQ(string_descriptors_in_use(), in_use - 1);  // still consumed
    }
    EXPECT_EQ(temp_string_count(), 4u);
    release_temp_strings(0, 0);
    EXPECT_EQ(bytes_of(f), "12345");
}

TEST_F(TextStrings, ConcatShortcutsAndRelease) {
    TextString* a = var_of("ab");
    TextString* empty = text_from_literal_len("", 0);
    uint32_t in_use = string_descriptors_in_use();
    EXPECT_EQ(concat_text(a, empty), a);
    EXPECT_EQ(concat_text(empty, a), a);
    EXPECT_EQ(string_descriptors_in_use(), in_use);  // nothing released

    TextString* r = concat_text(a, temp_of("cd"));
    EXPECT_EQ(bytes_of(r), "abcd");
    EXPECT_TRUE(r->temporary);
    EXPECT_EQ(bytes_of(a), "ab");
    EXPECT_EQ(string_descriptors_in_use(), in_use + 1);  // r; the temporary operand went

    TextString* t = temp_of("xy");
    TextString* twice = concat_text(t, t);  // one temporary as both operands
    EXPECT_EQ(bytes_of(twice), "xyxy");
    EXPECT_EQ(string_descriptors_in_use(), in_use + 2);
    release_temp_strings(0, 0);
    EXPECT_EQ(string_descriptors_in_use(), in_use - 1);
}

TEST_F(TextStrings, TextEqual) {
    struct Case {
        TextString *a, *b;
        int32_t expected;
    } cases[] = {
        {text_from_literal(""), empty_text, -1},
        {text_from_literal("A"), char_from_code('A'), -1},
        {text_from_literal("A"), text_from_literal("B"), 0},
        {text_from_literal("AB"), text_from_literal("A"), 0},
        {char_from_code(0), empty_text, 0},
        {char_from_code(0), text_from_literal_len("\0", 1), -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text_equal(c.a, c.b), c.expected) << bytes_of(c.a) << "|" << bytes_of(c.b);
        EXPECT_EQ(text_equal(c.b, c.a), c.expected);
    }
    uint32_t count = temp_string_count();
    EXPECT_EQ(text_equal(cases[0].a, cases[0].b), -1);
    EXPECT_EQ(temp_string_count(), count);  // operands not freed
    EXPECT_EQ(release_temp_strings(0, text_equal(cases[1].a, cases[1].b)), -1);
}

TEST_F(TextStrings, CharFromCode) {
    TextString* zero = char_from_code(0);
    EXPECT_EQ(zero->length, 1);
    EXPECT_EQ(zero->data[0], 0);
    EXPECT_EQ(char_from_code(255)->data[0], 255);
    EXPECT_EQ(pending_error.load(), 0);

    for (int32_t code : {256, -1}) {
        errors_init();
        TextString* bad = char_from_code(code);
        EXPECT_EQ(pending_error.load(), 5);
        EXPECT_EQ(event_pending.load(), 1);
        EXPECT_EQ(bad->length, 0);
        EXPECT_TRUE(bad->temporary);
    }
    // It makes its string while an error is pending.
    TextString* b = char_from_code('B');
    EXPECT_EQ(bytes_of(b), "B");
    EXPECT_EQ(pending_error.load(), 5);
}

TEST_F(TextStrings, PollAssignReleaseCycleReusesPoolAndStore) {
    uint32_t mark = temp_string_count();
    TextString* var = new_text_string(0, false);
    auto cycle = [&](int i) {
        assign_text(var, char_from_code(i & 255));
        release_temp_strings(mark, 0);
    };
    for (int i = 0; i < 10000; ++i) cycle(i);
    uint32_t capacity = string_store_capacity();
    uint32_t in_use = string_descriptors_in_use();
    for (int i = 0; i < 200000; ++i) cycle(i);
    EXPECT_EQ(string_store_capacity(), capacity);
    EXPECT_EQ(string_descriptors_in_use(), in_use);
    EXPECT_EQ(bytes_of(var), std::string(1, static_cast<char>(199999 & 255)));
}

TEST_F(TextStrings, StoreBeyondItsLimitIsCriticalError512) {
    auto run = [] {
        platform::set_message_box_hook([](const char* text, const char* title, unsigned) {
            std::fprintf(stderr, "[%s] %s\n", title, text);
            return platform::IDOK;
        });
        string_store_set_limit(64 * 1024);
        runtime_init(false);
        for (;;) new_text_string(1000, false);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "512|#12");
}

TEST_F(TextStrings, ListsBeyondTheirLimitsAreCriticalErrors) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // each child starts with fresh lists
    auto permanent_strings = [] {
        for (int i = 0; i < 1 << 16; ++i) new_text_string(0, false);
    };
    auto literal_views = [] {
        for (int i = 0; i < 1 << 16; ++i) text_from_literal("x");
    };
    struct Case {
        int32_t code;
        const char* box;
        void (*grow)();
    } cases[] = {
        {508, "\\[Critical Error #8\\] Out of memory", permanent_strings},  // descriptors
        {510, "\\[Critical Error #10\\] Out of memory", permanent_strings},  // store blocks
        {511, "\\[Critical Error #11\\] Out of memory", literal_views},      // temporaries
    };
    for (const Case& c : cases) {
        auto run = [&c] {
            platform::set_message_box_hook([](const char* text, const char* title, unsigned) {
                std::fprintf(stderr, "[%s] %s\n", title, text);
                return platform::IDOK;
            });
            string_list_set_limit(c.code, 1024);
            runtime_init(false);
            c.grow();
            std::_Exit(3);
        };
        EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), c.box) << c.code;
    }
}

}  // namespace
