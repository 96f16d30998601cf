// The console around the tool: its arguments and the wait for a key. One
// implementation a platform: console_posix.cpp, console_windows.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Sets the console up to show UTF-8 text, and returns the command-line
// arguments in UTF-8, however the platform hands them over.
std::vector<std::string> open_console(int argc, char** argv);

// One word from standard input, leading white space skipped, in UTF-8; empty
// when there is none. A word longer than `longest` bytes is cut after one
// byte more, and the rest is left unread.
std::string read_word_from_stdin(std::size_t longest);

// The same word's bytes as they came in, whatever their encoding.
std::string read_word_bytes(std::size_t longest);

// Keeps the console window open until a key is pressed, where a person can
// press one: only when standard input is a console (`pause` on Windows) or a
// terminal.
void wait_for_key();
