// The benchmark: a banner, a key, four timed drawing workloads, the elapsed
// seconds and the closing prompt. Statements carry their source line
// numbers; every one ends with its event check.
#include <bit>
#include <csignal>
#include <cstdint>

#include "platform/platform.h"
#include "screen_runtime.h"
#include "statement_forms.h"

namespace {

constexpr char title[] = "Texture benchmark by Ormi-tulp";
constexpr char maker_and_year[] = "Copyright (c) 2026 Ormi-tulp.";
constexpr char platform_line[] = "          [Windows]";
static_assert(sizeof title - 1 == 30 && sizeof maker_and_year - 1 == 29 && sizeof platform_line - 1 == 19);

// The logarithm's argument, a little above 0.
const double log_argument = std::bit_cast<double>(0x3E6CC553391A625FULL);

}  // namespace

extern "C" void benchmark_main(int32_t) {
    using namespace forms;

    // Prologue.
    platform::_controlfp(platform::PC_64, platform::MCW_PC);
    platform::signal(SIGFPE, on_floating_point_signal);
    const Temporaries temporaries{temp_string_count()};

    double& T0 = double_variable();
    double& ELAPSED = double_variable();
    TextString* K$ = text_variable();
    float& I = single_variable();
    float& COL = single_variable();
    float& X1 = single_variable();
    float& Y1 = single_variable();
    float& X2 = single_variable();
    float& Y2 = single_variable();
    float& B1 = single_variable();
    float& B2 = single_variable();
    float& B4 = single_variable();
    float& B5 = single_variable();
    float& B6 = single_variable();
    float& B7 = single_variable();
    TextString* S2$ = text_variable();
    TextString* S3$ = text_variable();
    TextString* S4$ = text_variable();
    TextString* S5$ = text_variable();
    TextString* S6$ = text_variable();
    TextString* S7$ = text_variable();
    TextString* TXT$ = text_variable();
    float& X = single_variable();
    float& Y = single_variable();
    float& J = single_variable();
    float& L = single_variable();
    float& R = single_variable();

    receive_chain_data();

    // Banner and first key wait.
    set_window_title(text_from_literal_len(title, 30));
    temporaries.release_and_check(1);
    set_fullscreen_mode(0, 0);
    check(2);
    clear_screen(0, 0, 0);
    check(3);
    check(4);
    check(5);
    locate_cursor(10, 23, 0, 0, 0, 3);
    check(6);
    print(temporaries, 6, {PrintItem::text(title, 30)});
    locate_cursor(11, 23, 0, 0, 0, 3);
    check(7);
    print(temporaries, 7, {PrintItem::text(maker_and_year, 29)});
    locate_cursor(12, 23, 0, 0, 0, 3);
    check(8);
    print(temporaries, 8, {PrintItem::text(platform_line, 19)});
    wait_for_key(temporaries, K$, 9, 10, 11);

    // Timed span opens; workload 1: filled boxes.
    T0 = seconds_since_midnight(0.0, 0);
    check(12);
    set_screen_mode(12, 0, 0, 0, 0, 1);
    check(13);
    for (CountedLoop loop(I, 100000.0); loop.head(14); loop.next()) {
        do {
            loop_head(15);
            COL = random_draw(1000.0f);
            check(16);
        } while (rejected(COL, 15.0f, 17));
        do {
            loop_head(18);
            X1 = random_draw(1000.0f);
            check(19);
            Y1 = random_draw(1000.0f);
            check(20);
            X2 = random_draw(1000.0f);
            check(21);
            Y2 = random_draw(1000.0f);
            check(22);
        } while (rejected(X1, 640.0f, 23) || rejected(Y1, 480.0f, 24) || rejected(X2, 640.0f, 25) ||
                 rejected(Y2, 480.0f, 26));
        draw_line(X1, Y1, X2, Y2, code_of(COL), 2, 0, 9);
        check(27);
    }  // 28

    // Workload 2: tile-pattern fills.
    clear_screen(0, 0, 0);
    check(29);
    for (CountedLoop loop(I, 100.0); loop.head(30); loop.next()) {
        do {
            loop_head(31);
            B1 = random_draw(1000.0f);
            check(32);
            B2 = random_draw(1000.0f);
            check(33);
            COL = random_draw(1000.0f);
            check(34);
            B4 = random_draw(1000.0f);
            check(35);
            B5 = random_draw(1000.0f);
            check(36);
            B6 = random_draw(1000.0f);
            check(37);
            B7 = random_draw(1000.0f);
            check(38);
        } while (rejected(B1, 255.0f, 39) || rejected(B2, 255.0f, 40) || rejected(COL, 255.0f, 41) ||
                 rejected(B4, 255.0f, 42) || rejected(B5, 255.0f, 43) || rejected(B6, 255.0f, 44) ||
                 rejected(B7, 255.0f, 45));
        assign_text(K$, char_from_code(static_cast<int32_t>(code_of(B1))));
        temporaries.release_and_check(46);
        assign_text(S2$, char_from_code(static_cast<int32_t>(code_of(B2))));
        temporaries.release_and_check(47);
        assign_text(S3$, char_from_code(static_cast<int32_t>(code_of(COL))));
        temporaries.release_and_check(48);
        assign_text(S4$, char_from_code(static_cast<int32_t>(code_of(B4))));
        temporaries.release_and_check(49);
        assign_text(S5$, char_from_code(static_cast<int32_t>(code_of(B5))));
        temporaries.release_and_check(50);
        assign_text(S6$, char_from_code(static_cast<int32_t>(code_of(B6))));
        temporaries.release_and_check(51);
        assign_text(S7$, char_from_code(static_cast<int32_t>(code_of(B7))));
        temporaries.release_and_check(52);
        assign_text(TXT$, concat_text(concat_text(K$, S2$), S3$));
        temporaries.release_and_check(53);
        do {
            loop_head(54);
            X = random_draw(1000.0f);
            check(55);
            Y = random_draw(1000.0f);
            check(56);
        } while (rejected(X, 640.0f, 57) || rejected(Y, 480.0f, 58));
        pattern_fill(X, Y, TXT$, 0, nullptr, 2);
        temporaries.release_and_check(59);
    }  // 60

    // Workload 3: colour floods, each followed by the logarithm delay.
    clear_screen(0, 0, 0);
    check(61);
    for (CountedLoop loop(I, 10000.0); loop.head(62); loop.next()) {
        do {
            loop_head(63);
            COL = random_draw(1000.0f);
            check(64);
        } while (rejected(COL, 15.0f, 65));
        flood_fill(100.0f, 100.0f, code_of(COL), 0, 0, 2);
        check(66);
        for (CountedLoop delay(J, 125000.0); delay.head(67); delay.next()) {
            L = static_cast<float>(natural_log(log_argument));
            check(68);
        }  // 69
    }  // 70

    // Workload 4: delay, then a circle and its disc fill.
    clear_screen(0, 0, 0);
    check(71);
    for (CountedLoop loop(I, 20000.0); loop.head(72); loop.next()) {
        for (CountedLoop delay(J, 125000.0); delay.head(73); delay.next()) {
            L = static_cast<float>(natural_log(log_argument));
            check(74);
        }  // 75
        clear_screen(0, 0, 0);
        check(76);
        do {
            loop_head(77);
            COL = random_draw(1000.0f);
            check(78);
        } while (rejected(COL, 15.0f, 79));
        do {
            loop_head(80);
            X = random_draw(1000.0f);
            check(81);
            Y = random_draw(1000.0f);
            check(82);
            R = random_draw(100.0f);
            check(83);
        } while (rejected(X, 640.0f, 84) || rejected(Y, 480.0f, 85));
        draw_circle(X, Y, R, static_cast<int32_t>(code_of(COL)), 0.0, 0.0, 0.0, 2);
        check(86);
        flood_fill(X, Y, code_of(COL), 0, 0, 2);
        check(87);
    }  // 88

    // Result.
    clear_screen(0, 0, 0);
    check(89);
    loop_head(124);
    clear_screen(0, 0, 0);
    check(125);
    ELAPSED = elapsed_since(T0, seconds_since_midnight(0.0, 0));
    check(154);
    clear_screen(0, 0, 0);
    check(155);
    locate_cursor(10, 30, 0, 0, 0, 3);
    check(156);
    print(temporaries, 156, {PrintItem::text("Result: ", 8), PrintItem::value(ELAPSED)});

    // Final key wait and end.
    wait_for_key(temporaries, K$, 157, 158, 159);
    end_program();
}
