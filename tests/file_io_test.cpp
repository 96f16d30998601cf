#include "hex/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

// The file takes the new bytes only while it is still the one that was read; a change by another
// writer, in place or by a new file, wins, and nothing is left beside it.
TEST(ReplaceFile, KeepsAnotherWritersChange) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "crcstamp_replace_test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "fw.hex").string(), theirs = (folder / "theirs.hex").string();
    const auto write = [](const std::string& at, const char* text) { std::ofstream(at, std::ios::binary) << text; };
    const auto contents = [&path] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    const std::pair<std::function<void()>, ReplaceOutcome> cases[] = {
        {[] {}, ReplaceOutcome::kReplaced},
        {[&] { std::ofstream(path, std::ios::binary | std::ios::app) << "+"; }, ReplaceOutcome::kChanged},
        {[&] { write(theirs, "new file"), std::filesystem::rename(theirs, path); }, ReplaceOutcome::kChanged},
    };
    for (const auto& [change, outcome] : cases) {
        write(path, "read");
        FileSnapshot file;
        ASSERT_TRUE(read_file_bytes(path, file));
        change();
        const std::string changed = contents();
        EXPECT_EQ(replace_file_bytes(path, "stamped", file.identity), outcome);
        EXPECT_EQ(contents(), outcome == ReplaceOutcome::kReplaced ? "stamped" : changed);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    }
    std::filesystem::remove_all(folder);
}
