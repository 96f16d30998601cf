#include "hex/patcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/crcstamp.h"

TEST(Patcher, StampsAndChecksEveryCrcRecord) {
    const std::string e8 = ":020000040008F2\r\n";
    const std::string blank = ":0409FE00FFFFFFFFF9";
    const std::string ok = ":0409FE0056781234E1";  // CRC 0x12345678 at 0x0809FE
    const std::string x76(76, 'x');                // past 76 characters a line goes on in slots that are no records
    constexpr CrcCheck matches = CrcCheck::kMatches, differs = CrcCheck::kDiffers, none = CrcCheck::kNoCrcRecord;
    const struct {
        std::string before, after;
        std::size_t stamped;
        CrcCheck check;  // of `before`
        std::uint32_t crc_address = 0x0809FE;
    } cases[] = {
        {e8 + blank + "\r\n", e8 + ok + "\r\n", 1, differs},
        {e8 + ok + "\r\n", e8 + ok + "\r\n", 1, matches},
        {e8 + ":0409fe0056781234e1\n", e8 + ":0409fe0056781234E1\r\n", 1, matches},
        {e8 + ":0409FE0056781234E2\r\n", e8 + ok + "\r\n", 1, differs},
        {e8 + ok + "\r\n" + blank + " ; crc", e8 + ok + "\r\n" + ok + " ; crc", 2, differs},
        {"\r\n\n:020000040008F2\n" + blank + "\n", "\r\n\r\n" + e8 + ok + "\r\n", 1, differs},
        {blank, ok, 1, differs, 0x09FE},  // the extended address is 0 until a record sets it
        {":020000040008F2\r" + blank + "\r", ":020000040008F2\r" + blank + "\r", 0, none},  // lone CRs: one line
        {":020000040009F1\r\n" + blank, ":020000040009F1\r\n" + blank, 0, none},
        // A record of any other shape at the address is left whole.
        {e8 + ":0209FE00FFFFF9", e8 + ":0209FE00FFFFF9", 0, none},
        {e8 + ":0409FE02FFFFFFFFF7", e8 + ":0409FE02FFFFFFFFF7", 0, none},
        {e8 + ":0409FE00FFFFFFFFF\r\n", e8 + ":0409FE00FFFFFFFFF\r\n", 0, none},
        {e8 + ":0209FE040008EB\r\n" + blank, e8 + ":0209FE040008EB\r\n" + ok, 1, differs},
        {e8 + x76 + ":020000040009F1\r\n" + blank, e8 + x76 + ":020000040009F1\r\n" + ok, 1, differs},
        {e8 + std::string("\0\x1A\r\n", 4) + blank + "\x1A", e8 + std::string("\0\x1A\r\n", 4) + ok + "\x1A", 1,
         differs},
        {e8 + ":0409FE0066781234E1", e8 + ok, 1, differs},                            // one digit differs
        {":02000004000\r\n" + blank, ":02000004000\r\n" + ok, 1, differs, 0x0A09FE},  // 0x000 then '\n'
        // Blank and short lines read as type 0 at the extended address, and stay as they were.
        {"\n" + e8 + "\r\n\n:\r\n:04\r\n:0400000", "\r\n" + e8 + "\r\n\r\n:\r\n:04\r\n:0400000", 0, none, 0x80000},
        {e8 + blank, e8 + blank, 0, none, kNoCrcAddress},
    };
    for (const auto& t : cases) {
        EXPECT_EQ(check_crc_text(t.before, t.crc_address, 0x12345678), t.check) << t.before;
        for (const std::string& before : {t.before, t.after}) {  // a second stamp changes nothing
            FileBytes text(before.begin(), before.end());
            EXPECT_EQ(patch_crc_text(text, t.crc_address, 0x12345678), t.stamped) << before;
            EXPECT_EQ(view_of(text), t.after);
        }
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
