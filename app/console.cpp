#include "app/console.h"

#include <csignal>
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

namespace {

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string read_word_bytes() {
    std::string word;
    int c = std::getchar();
    while (is_space(c)) c = std::getchar();
    for (; c != EOF && !is_space(c); c = std::getchar()) word += static_cast<char>(c);
    return word;
}

}  // namespace

#ifdef _WIN32

namespace {

// UTF-8 of `size` wide characters.
std::string utf8_of(const wchar_t* wide, int size) {
    const int utf8_size = size > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr) : 0;
    std::string utf8(static_cast<std::size_t>(utf8_size > 0 ? utf8_size : 0), '\0');
    if (utf8_size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, size, utf8.data(), utf8_size, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::string read_word_from_stdin() {
    std::string word = read_word_bytes();
    // Typed or piped text comes in the console's input code page; without a
    // console, in the one a console would start with.
    UINT code_page = GetConsoleCP();
    if (code_page == 0) code_page = GetOEMCP();
    if (word.empty() || code_page == CP_UTF8) return word;
    const int size = static_cast<int>(word.size());
    const int wide_size = MultiByteToWideChar(code_page, 0, word.data(), size, nullptr, 0);
    if (wide_size <= 0) return word;
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(code_page, 0, word.data(), size, wide.data(), wide_size);
    return utf8_of(wide.data(), wide_size);
}

std::vector<std::string> open_console(int, char**) {
    SetConsoleOutputCP(CP_UTF8);
    // The narrow argv is in the ANSI code page and loses what it cannot hold;
    // a path dropped on the program may hold anything.
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(utf8_of(wide[i], lstrlenW(wide[i])));
    LocalFree(wide);
    return arguments;
}

void wait_for_key() {
    std::fflush(stdout);
    std::system("pause");
}

#else

std::string read_word_from_stdin() { return read_word_bytes(); }

std::vector<std::string> open_console(int argc, char** argv) {
    // A closed pipe is a failed write, reported by the exit status, not a kill
    // that could come between two files.
    std::signal(SIGPIPE, SIG_IGN);
    return {argv, argv + argc};
}

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
