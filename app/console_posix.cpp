#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/console.h"

std::vector<std::string> open_console(int argc, char** argv) {
    // A closed standard stream would be the next file opened, and a HEX file
    // would get the tool's output. Each takes the null device, read-only, so
    // that output to it fails as it did and the exit status says so.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDONLY) != fd) std::_Exit(1);
    }
    // A closed pipe is a failed write, reported by the exit status, not a kill
    // that could come between two files.
    std::signal(SIGPIPE, SIG_IGN);
    return {argv, argv + argc};
}

std::string read_word_from_stdin(std::size_t longest) { return read_word_bytes(longest); }

void wait_for_key() {
    std::fflush(stdout);
    // A pipe, a file or a build server has nobody to press a key.
    if (!isatty(STDIN_FILENO)) return;
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    std::fputs("Press any key to continue . . . ", stdout);
    std::fflush(stdout);
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // TCSAFLUSH drops keys typed ahead: the wait is for a fresh key.
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) == 0) {
        char key = 0;
        const ssize_t got = read(STDIN_FILENO, &key, 1);
        static_cast<void>(got);
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    std::fputs("\n", stdout);
    std::fflush(stdout);
}
