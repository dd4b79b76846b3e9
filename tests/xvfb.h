// A private Xvfb for one test process. The server picks a free display
// number itself (-displayfd), so test programs running side by side never
// meet.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

struct Xvfb {
    pid_t pid = -1;
    std::string display;  // ":N" once started

    // False when no server came up (Xvfb missing, or it gave no display).
    bool start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return false;
        }
        std::string number;
        char c;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) {
            stop();
            return false;
        }
        display = ":" + number;
        return true;
    }
    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
        display.clear();
    }
};
