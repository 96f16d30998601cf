#include "app/console.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on
#else
#include <termios.h>
#include <unistd.h>
#endif

#ifdef _WIN32

std::vector<std::string> open_console(int, char**) {
    SetConsoleOutputCP(CP_UTF8);
    // The narrow argv is in the ANSI code page and loses what it cannot hold;
    // a path dropped on the program may hold anything.
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 0; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), size, nullptr, nullptr);
        utf8.resize(utf8.size() - 1);
        arguments.push_back(std::move(utf8));
    }
    LocalFree(wide);
    return arguments;
}

void wait_for_key() {
    std::fflush(stdout);
    std::system("pause");
}

#else

std::vector<std::string> open_console(int argc, char** argv) { return {argv, argv + argc}; }

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

#endif
