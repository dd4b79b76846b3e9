// The state a chaining program hands over: receive_chain_data.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "errors.h"
#include "pages.h"
#include "runtime.h"
#include "screen_runtime.h"

// Hand-over file, written by the sending program in the directory the
// receiver starts in (its executable's directory). Text lines, each once,
// in any order:
//   directory=<path>      the directory to work in (rest of the line)
//   screen_mode=<n>       the screen mode to restore, 0 for the text screen
// A line may end in "\r\n". Nothing else may stand in the file.
namespace {
constexpr char chain_marker[] = "(unique-tag:=/@*$+-)";
constexpr size_t marker_length = sizeof chain_marker - 1;  // 20
constexpr size_t chain_name_length = 12;
constexpr size_t chain_suffix_length = marker_length + chain_name_length;

bool chain_name_ok(const std::string& name) {
    if (name.size() != chain_name_length || name.compare(0, 5, "chain") != 0 ||
        name.compare(8, 4, ".tmp") != 0)
        return false;
    // The name comes from the command line: keep it a plain file name here.
    for (char c : name)
        if (c == '/' || c == '\0') return false;
    return true;
}

bool parse_mode(const std::string& s, int32_t& mode) {
    if (s.empty()) return false;
    errno = 0;
    char* after = nullptr;
    long v = std::strtol(s.c_str(), &after, 10);
    if (errno != 0 || *after != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
    mode = static_cast<int32_t>(v);
    return true;
}

// Reads the file; 0 when it holds a complete, well-formed state.
int32_t read_chain_file(std::FILE* f, std::string& directory, int32_t& mode) {
    bool have_directory = false, have_mode = false;
    std::string line;
    for (;;) {
        int c = std::fgetc(f);
        if (c != EOF && c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        if (c == EOF && std::ferror(f)) return error_code::device_io_error;
        if (c == EOF && line.empty()) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("directory=", 0) == 0 && !have_directory) {
            directory = line.substr(10);
            have_directory = true;
        } else if (line.rfind("screen_mode=", 0) == 0 && !have_mode) {
            if (!parse_mode(line.substr(12), mode)) return error_code::illegal_function_call;
            have_mode = true;
        } else {
            return error_code::illegal_function_call;
        }
        line.clear();
        if (c == EOF) break;
    }
    return have_directory && have_mode ? 0 : error_code::input_past_end_of_file;
}
}  // namespace

void receive_chain_data() {
    std::string& cmd = runtime_command_line;
    if (cmd.size() < chain_suffix_length) return;
    const size_t at = cmd.size() - chain_suffix_length;
    if (cmd.compare(at, marker_length, chain_marker) != 0) return;
    const std::string name = cmd.substr(at + marker_length);
    if (!chain_name_ok(name)) return;

    // The suffix is the runtime's, never the user's: it goes in every case.
    cmd.erase(at > 0 && cmd[at - 1] == ' ' ? at - 1 : at);

    // Only a regular file is the sender's: a FIFO would block the open, a
    // device or a directory holds no state. Whatever it is, it is left alone.
    const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        raise_error(errno == ENOMEM ? error_code::allocation_failed : error_code::file_not_found);
        return;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        raise_error(error_code::file_not_found);
        return;
    }
    std::FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        raise_error(error_code::allocation_failed);  // the stream's buffer
        return;
    }
    std::string directory;
    int32_t mode = 0;
    int32_t failure = read_chain_file(f, directory, mode);
    std::fclose(f);
    unlink(name.c_str());
    if (failure) {
        raise_error(failure);
        return;
    }
    if (chdir(directory.c_str()) != 0) {
        raise_error(error_code::path_not_found);
        return;
    }
    if (mode != 0) set_screen_mode(mode, 0, 0, 0, 0, screen_mode_given::mode);
}
