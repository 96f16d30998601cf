#include "hex/patcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/crcstamp.h"
#include "hex/loader.h"

TEST(Patcher, StampsAndChecksTheRecordsTheLoaderFound) {
    const std::string head = ":020000040008F2\r\n:0409F00009FE0008F4\r\n";  // declares the CRC address 0x0809FE
    const std::string end = ":00000001FF\r\n";
    const std::string blank = ":0409FE00FFFFFFFFF9";
    const std::string ok = ":0409FE0056781234E1";  // CRC 0x12345678 at 0x0809FE
    enum Verdict { kMatches, kDiffers, kNotFound };
    const struct {
        std::string before, after;
        Verdict check;  // of `before`
    } cases[] = {
        {head + blank + "\r\n" + end, head + ok + "\r\n" + end, kDiffers},
        {head + ok + "\r\n" + end, head + ok + "\r\n" + end, kMatches},
        {head + ":0409fe0056781234e1\n" + end, head + ":0409fe0056781234E1\r\n" + end, kMatches},
        {head + ":0409FE0056781234E2\r\n" + end, head + ok + "\r\n" + end, kDiffers},
        {head + ":0409FE0066781234E1\r\n" + end, head + ok + "\r\n" + end, kDiffers},  // one digit differs
        {head + ok + "\r\n  " + blank + "\n" + end, head + ok + "\r\n  " + ok + "\r\n" + end, kDiffers},
        {":020000040008F2\n:0409F00009FE0008F4\n" + blank + "\n:00000001FF\n", head + ok + "\r\n" + end, kDiffers},
        // Text between records is no record, whatever it holds; NUL and 0x1A are kept.
        {head + "# comm 0409FE\r\n" + blank + "\r\n" + end, head + "# comm 0409FE\r\n" + ok + "\r\n" + end, kDiffers},
        {head + " \t" + blank + "\r\n" + end, head + " \t" + ok + "\r\n" + end, kDiffers},
        {head + std::string("\0\x1A\n", 3) + blank + "\r\n" + end + "\x1A",
         head + std::string("\0\x1A\r\n", 4) + ok + "\r\n" + end + "\x1A", kDiffers},
        // Only a four-byte data record alone on its line is stamped; a lone CR ends no line.
        {":020000040008F2\r:0409F00009FE0008F4\r" + blank + "\r:00000001FF", "", kNotFound},
        {head + ":0209FE00FFFFF9\r\n" + end, "", kNotFound},
        {head + blank + ";\r\n" + end, "", kNotFound},
        {head + ":0409FE00FFFFFFFFF\r\n" + end, "", kNotFound},
    };
    static ImageBuffer image;
    std::string message;
    for (const auto& t : cases) {
        LoadResult result;
        ASSERT_TRUE(load_hex_bytes(t.before, image, result, message)) << message << t.before;
        const Verdict check = result.crc_records.empty()                        ? kNotFound
                              : crc_records_match(t.before, result, 0x12345678) ? kMatches
                                                                                : kDiffers;
        EXPECT_EQ(check, t.check) << t.before;
        if (check == kNotFound) continue;
        FileBytes text(t.before.begin(), t.before.end());
        patch_crc_text(text, result, 0x12345678);
        EXPECT_EQ(view_of(text), t.after);
        // The stamped file loads alike, checks as matching, and a second stamp changes nothing.
        LoadResult again;
        ASSERT_TRUE(load_hex_bytes(t.after, image, again, message)) << message;
        EXPECT_TRUE(crc_records_match(t.after, again, 0x12345678));
        patch_crc_text(text, again, 0x12345678);
        EXPECT_EQ(view_of(text), t.after);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(Fuzz, ReplaysTheCorpus) {  // the target aborts on a broken invariant
    for (const auto& entry : std::filesystem::directory_iterator(CRCSTAMP_CORPUS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
}
