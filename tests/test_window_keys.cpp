// The window's key codes in the runtime's vocabulary, with no window: every
// physical key comes out of exactly one of freeglut's path and the X path.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "window_keys.h"

// After the test framework, whose names X's macros would take.
#include <GL/freeglut.h>
#include <X11/X.h>
#include <X11/keysym.h>

void PrintTo(Key key, std::ostream* out) { *out << "Key " << static_cast<int>(key); }

namespace {

constexpr int no_glut_code = -1;

struct PhysicalKey {
    const char* name;
    int glut_special;       // as glutSpecialFunc reports it, or no_glut_code
    unsigned long keysym;   // as the X path looks it up
    int modifiers;
    std::optional<Key> from_glut, from_x11;  // at most one of them
};

TEST(WindowKeys, EachKeyComesOutOfOnePath) {
    const PhysicalKey keys[] = {
        {"F1", GLUT_KEY_F1, XK_F1, 0, Key::f1, std::nullopt},
        {"F2", GLUT_KEY_F2, XK_F2, 0, Key::f2, std::nullopt},
        {"F3", GLUT_KEY_F3, XK_F3, 0, Key::f3, std::nullopt},
        {"F4", GLUT_KEY_F4, XK_F4, modifier_alt, Key::f4, std::nullopt},
        {"F5", GLUT_KEY_F5, XK_F5, 0, Key::f5, std::nullopt},
        {"F6", GLUT_KEY_F6, XK_F6, 0, Key::f6, std::nullopt},
        {"F7", GLUT_KEY_F7, XK_F7, 0, Key::f7, std::nullopt},
        {"F8", GLUT_KEY_F8, XK_F8, 0, Key::f8, std::nullopt},
        {"F9", GLUT_KEY_F9, XK_F9, 0, Key::f9, std::nullopt},
        {"F10", GLUT_KEY_F10, XK_F10, 0, Key::f10, std::nullopt},
        {"F11", GLUT_KEY_F11, XK_F11, 0, Key::f11, std::nullopt},
        {"F12", GLUT_KEY_F12, XK_F12, 0, Key::f12, std::nullopt},
        {"Home", GLUT_KEY_HOME, XK_Home, 0, Key::home, std::nullopt},
        {"Up", GLUT_KEY_UP, XK_Up, 0, Key::up, std::nullopt},
        {"Page Up", GLUT_KEY_PAGE_UP, XK_Prior, 0, Key::page_up, std::nullopt},
        {"Left", GLUT_KEY_LEFT, XK_Left, modifier_ctrl, Key::left, std::nullopt},
        {"keypad centre", GLUT_KEY_BEGIN, XK_KP_Begin, 0, Key::centre, std::nullopt},
        {"Right", GLUT_KEY_RIGHT, XK_Right, 0, Key::right, std::nullopt},
        {"End", GLUT_KEY_END, XK_End, 0, Key::end, std::nullopt},
        {"Down", GLUT_KEY_DOWN, XK_Down, 0, Key::down, std::nullopt},
        {"Page Down", GLUT_KEY_PAGE_DOWN, XK_Next, 0, Key::page_down, std::nullopt},
        {"Insert", GLUT_KEY_INSERT, XK_Insert, 0, Key::insert, std::nullopt},
        {"Delete", GLUT_KEY_DELETE, XK_Delete, 0, Key::del, std::nullopt},
        {"left Shift", GLUT_KEY_SHIFT_L, XK_Shift_L, modifier_shift, Key::shift, std::nullopt},
        {"right Shift", GLUT_KEY_SHIFT_R, XK_Shift_R, modifier_shift, Key::shift, std::nullopt},
        {"left Ctrl", GLUT_KEY_CTRL_L, XK_Control_L, modifier_ctrl, Key::ctrl, std::nullopt},
        {"right Ctrl", GLUT_KEY_CTRL_R, XK_Control_R, modifier_ctrl, Key::ctrl, std::nullopt},
        {"left Alt", GLUT_KEY_ALT_L, XK_Alt_L, modifier_alt, Key::alt, std::nullopt},
        {"right Alt", GLUT_KEY_ALT_R, XK_Alt_R, modifier_alt, Key::alt, std::nullopt},
        {"left Super", GLUT_KEY_SUPER_L, XK_Super_L, 0, Key::super, std::nullopt},
        {"right Super", GLUT_KEY_SUPER_R, XK_Super_R, 0, Key::super, std::nullopt},
        {"a key freeglut has no name for", 0x0200, NoSymbol, 0, Key::unnamed, std::nullopt},
        // Both report Num Lock: the X path alone passes it on.
        {"Num Lock", GLUT_KEY_NUM_LOCK, XK_Num_Lock, 0, std::nullopt, Key::num_lock},
        {"Ctrl+Num Lock", GLUT_KEY_NUM_LOCK, XK_Num_Lock, modifier_ctrl, std::nullopt, Key::num_lock},
        {"Pause", no_glut_code, XK_Pause, 0, std::nullopt, Key::pause},
        {"Ctrl+Pause", no_glut_code, XK_Pause, modifier_ctrl, std::nullopt, Key::pause},
        {"Break", no_glut_code, XK_Break, modifier_ctrl, std::nullopt, Key::break_key},
        {"Scroll Lock", no_glut_code, XK_Scroll_Lock, 0, std::nullopt, Key::scroll_lock},
        {"Caps Lock", no_glut_code, XK_Caps_Lock, 0, std::nullopt, Key::caps_lock},
        {"Shift+Tab", no_glut_code, XK_ISO_Left_Tab, modifier_shift, std::nullopt, Key::back_tab},
        {"Shift+Tab, keymap without ISO_Left_Tab", no_glut_code, XK_Tab, modifier_shift, std::nullopt, Key::back_tab},
        // Keys that type characters come through freeglut's character path.
        {"Tab", no_glut_code, XK_Tab, 0, std::nullopt, std::nullopt},
        {"a", no_glut_code, XK_a, 0, std::nullopt, std::nullopt},
        {"Enter", no_glut_code, XK_Return, modifier_alt, std::nullopt, std::nullopt},
    };
    for (const PhysicalKey& k : keys) {
        SCOPED_TRACE(k.name);
        const std::optional<Key> glut =
            k.glut_special == no_glut_code ? std::nullopt : key_of_glut_special(k.glut_special);
        EXPECT_EQ(glut, k.from_glut);
        EXPECT_EQ(key_of_x11_keysym(k.keysym, k.modifiers), k.from_x11);
    }
}

TEST(WindowKeys, X11ModifierState) {
    const struct {
        unsigned state;
        int modifiers;
    } cases[] = {
        {0, 0},
        {ShiftMask, modifier_shift},
        {ControlMask, modifier_ctrl},
        {Mod1Mask, modifier_alt},
        {ShiftMask | ControlMask | Mod1Mask, modifier_shift | modifier_ctrl | modifier_alt},
        // Caps Lock, Num Lock and Super held change nothing.
        {LockMask | Mod2Mask | Mod4Mask, 0},
        {LockMask | ControlMask, modifier_ctrl},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        EXPECT_EQ(modifiers_of_x11_state(c.state), c.modifiers);
    }
}

}  // namespace
