#include "app/console.h"

#include <cstdio>

namespace {

bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string read_word_bytes(std::size_t longest) {
    std::string word;
    int c = std::getchar();
    while (is_space(c)) c = std::getchar();
    for (; c != EOF && !is_space(c); c = std::getchar()) {
        word += static_cast<char>(c);
        if (word.size() > longest) break;  // too long for a path: no need to read on
    }
    return word;
}
