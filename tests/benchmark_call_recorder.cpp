#include "benchmark_call_recorder.h"

#include <charconv>
#include <cstdio>
#include <utility>

namespace watch {

Recorder recorder;
bool recording = false;
thread_local int call_depth = 0;

namespace {

bool armed = false;
bool window_open = false;
size_t window_index = 0;
size_t names_given = 0;
std::vector<std::pair<const TextString*, std::string>> text_names;

bool reached(const Edge& edge) { return edge.counter != nullptr && counters.*edge.counter == edge.value; }

void open_window() {
    window_open = true;
    recording = true;
    recorder.calls_in.emplace_back();
    recorder.checks_in.emplace_back();
}

void close_window() {
    window_open = false;
    recording = false;
    ++window_index;
}

template <class T>
std::string shortest(T value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string name_of(const TextString* text) {
    for (const auto& [pointer, name] : text_names)
        if (pointer == text) return name;
    return {};
}

std::string join(const char* name, std::initializer_list<std::string> args) {
    std::string s = name;
    s += '(';
    bool first = true;
    for (const std::string& a : args) {
        if (!first) s += ", ";
        s += a;
        first = false;
    }
    return s + ')';
}

}  // namespace

void edge_before() {
    if (!armed || window_index >= recorder.windows.size()) return;
    const Window& w = recorder.windows[window_index];
    if (window_open && w.close_before && reached(w.close)) close_window();
    if (!window_open && window_index < recorder.windows.size() && reached(recorder.windows[window_index].open))
        open_window();
}

void edge_after() {
    if (!armed || !window_open) return;
    const Window& w = recorder.windows[window_index];
    if (!w.close_before && reached(w.close)) close_window();
}

std::string number(double value) { return shortest(value); }
std::string extended(long double value) { return shortest(value); }
std::string integer(int64_t value) { return std::to_string(value); }

std::string quoted(const uint8_t* bytes, int32_t length) {
    std::string text = "\"";
    for (int32_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        if (b >= 32 && b < 127 && b != '"' && b != '\\') {
            text += static_cast<char>(b);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            text += escape;
        }
    }
    return text + "\"";
}

std::string text(const TextString* t) {
    if (t == nullptr) return "null";
    if (t == empty_text) return "empty_text";
    std::string name = name_of(t);
    if (name.empty() && t->temporary) name = "tmp";
    return name + quoted(t->data, t->length);
}

std::string destination(const TextString* t) {
    std::string name = name_of(t);
    return name.empty() ? text(t) : name;
}

void note(const char* name, std::initializer_list<std::string> args) { record(join(name, args)); }

void name_new_text(const TextString* t) {
    std::string name =
        names_given < recorder.text_names.size() ? recorder.text_names[names_given++] : recorder.other_text_name;
    text_names.emplace_back(t, std::move(name));
}

void forget_text(const TextString* t) {
    for (size_t i = 0; i < text_names.size(); ++i) {
        if (text_names[i].first == t) {
            text_names.erase(text_names.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

void record(std::string call) {
    if (!recorder.calls) return;
    std::vector<Call>& calls = recorder.calls_in.back();
    if (!calls.empty() && calls.back().text == call) {
        ++calls.back().times;
        return;
    }
    calls.push_back({std::move(call), 1});
}

void arm_recorder() {
    armed = true;
    if (!recorder.windows.empty() && recorder.windows.front().open.counter == nullptr) open_window();
}

}  // namespace watch
