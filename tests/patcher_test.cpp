#include "hex/patcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "common/crcstamp.h"
#include "hex/loader.h"

// Between the header that declares 0x0809FE and the end-of-file record: the text before, the text
// stamped with 0x12345678 (empty: no CRC record), and the verdict of a check before the stamp.
TEST(Patcher, StampsAndChecksTheRecordsTheLoaderFound) {
    const std::string head = ":020000040008F2\r\n:0409F00009FE0008F4\r\n", end = "\r\n:00000001FF\r\n";
    const std::string blank = ":0409FE00FFFFFFFFF9", ok = ":0409FE0056781234E1";
    enum Verdict { kMatches, kDiffers, kNotFound };
    const std::tuple<std::string, std::string, Verdict> cases[] = {
        {blank, ok, kDiffers},
        {ok, ok, kMatches},
        {":0409fe0056781234e1", ":0409fe0056781234E1", kMatches},
        {":0409FE0056781234E2", ok, kDiffers},
        {":0409FE0066781234E1", ok, kDiffers},
        {ok + "\r\n  " + blank, ok + "\r\n  " + ok, kDiffers},
        {"# comm 0409FE\r\n \t" + blank, "# comm 0409FE\r\n \t" + ok, kDiffers},  // no comment is a record
        // Only a four-byte data record alone on its line is stamped; a lone CR ends no line.
        {"\r" + blank + "\r", "", kNotFound},
        {":0209FE00FFFFF9", "", kNotFound},
        {blank + ";", "", kNotFound},
        {":0409FE00FFFFFFFFF", "", kNotFound},
    };
    static ImageBuffer image;
    std::string message;
    for (const auto& [middle, stamped, verdict] : cases) {
        const std::string before = head + middle + end;
        LoadResult result;
        ASSERT_TRUE(load_hex_bytes(before, image, result, message)) << message << before;
        EXPECT_EQ(result.crc_records.empty()                      ? kNotFound
                  : crc_records_match(before, result, 0x12345678) ? kMatches
                                                                  : kDiffers,
                  verdict)
            << before;
        FileBytes text(before.begin(), before.end());
        patch_crc_text(text, result, 0x12345678);
        EXPECT_EQ(view_of(text), stamped.empty() ? before : head + stamped + end);
    }
}

// The file takes the new bytes only while it is still the one that was read; a change by another
// writer, in place or by a new file, wins, and nothing is left beside it.
TEST(ReplaceFile, KeepsAnotherWritersChange) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "crcstamp_replace_test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "fw.hex").string(), theirs = path + ".new";
    const std::tuple<std::function<void()>, ReplaceOutcome, std::string> cases[] = {
        {[] {}, ReplaceOutcome::kReplaced, "stamped"},
        {[&] { std::ofstream(path, std::ios::app) << "+"; }, ReplaceOutcome::kChanged, "read+"},
        {[&] {
             std::ofstream(theirs) << "theirs";  // closed before the rename, as Windows needs
             std::filesystem::rename(theirs, path);
         },
         ReplaceOutcome::kChanged, "theirs"},
    };
    for (const auto& [change, outcome, kept] : cases) {
        std::ofstream(path) << "read";
        FileSnapshot read, now;
        ASSERT_TRUE(read_file_bytes(path, read));
        change();
        EXPECT_EQ(replace_file_bytes(path, "stamped", read.identity), outcome);
        ASSERT_TRUE(read_file_bytes(path, now));
        EXPECT_EQ(view_of(now.bytes), kept);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    }
    std::filesystem::remove_all(folder);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(Fuzz, ReplaysTheCorpus) {  // the target aborts on a broken invariant
    for (const auto& entry : std::filesystem::directory_iterator(CRCSTAMP_CORPUS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
}
