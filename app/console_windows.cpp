#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on

#include <cstdio>
#include <cstdlib>

#include "app/console.h"

namespace {

// UTF-8 of `size` wide characters.
std::string utf8_of(const wchar_t* wide, int size) {
    const int utf8_size = size > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr) : 0;
    std::string utf8(static_cast<std::size_t>(utf8_size > 0 ? utf8_size : 0), '\0');
    if (utf8_size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, size, utf8.data(), utf8_size, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::string read_word_from_stdin(std::size_t longest) {
    std::string word = read_word_bytes(longest);
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
    // Only a console has somebody to press a key: a window opened from
    // Explorer, or a prompt. NUL, a pipe or a file (a build server) do not.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) std::system("pause");
}
