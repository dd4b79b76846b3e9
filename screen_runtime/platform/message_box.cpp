// Placeholder message box: standard error only.
#include <atomic>
#include <cstdio>

#include "platform.h"

namespace platform {
namespace {
std::atomic<MessageBoxHook> hook{nullptr};
std::atomic<unsigned long> owner{0};
}  // namespace

void set_message_box_hook(MessageBoxHook h) { hook = h; }
void set_dialog_owner(unsigned long w) { owner = w; }
unsigned long dialog_owner() { return owner; }

int MessageBoxA(unsigned long, const char* text, const char* title, unsigned flags) {
    if (MessageBoxHook h = hook.load()) return h(text, title, flags);
    std::fprintf(stderr, "%s\n%s\n", title, text);
    return (flags & MB_YESNO) ? IDNO : IDOK;
}
}  // namespace platform
