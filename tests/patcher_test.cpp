#include "hex/patcher.h"

#include <gtest/gtest.h>

#include "common/crcstamp.h"
#include "tests/hex_builder.h"

namespace {

std::string patched(const std::string& text, std::uint32_t crc_address, std::uint32_t crc) {
    FileBytes bytes(text.begin(), text.end());
    patch_crc_text(bytes, crc_address, crc);
    return std::string(view_of(bytes));
}

const std::string kExtended8 = ":020000040008F2\r\n";
const std::string kSlot = ":0409FE00FFFFFFFFF9";
const std::string kStamped = ":0409FE0056781234E1";

}  // namespace

TEST(Patcher, WorkedExampleFifthLine) {
    const std::string before = hex_lines({":020000040008F2", ":040000001122334452", ":08000200A0A1A2A30040000828",
                                          ":02001000B0B18D", ":04004000C0C1C2C3B6", ":02004200D0D11B", ":00000001FF"});
    std::string after = before;
    after.replace(after.find(":04004000C0C1C2C3B6"), 19, ":04004000AF29C0D351");
    EXPECT_EQ(patched(before, 0x80040, 0xC0D3AF29), after);
}

TEST(Patcher, Slots) {
    // CRC address 0x0809FE, CRC 0x12345678 throughout.
    const struct {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        {"stamped under its extended address", kExtended8 + kSlot + "\r\n", kExtended8 + kStamped + "\r\n"},
        {"another extended address", ":020000040009F1\r\n" + kSlot + "\r\n", ":020000040009F1\r\n" + kSlot + "\r\n"},
        {"no extended address yet", kSlot + "\r\n", kSlot + "\r\n"},
        {"lower-case address stays lower-case", kExtended8 + ":0409fe00ffffffffF9\r\n",
         kExtended8 + ":0409fe0056781234E1\r\n"},
        {"two records at the address", kExtended8 + kSlot + "\r\n" + kSlot + "\r\n",
         kExtended8 + kStamped + "\r\n" + kStamped + "\r\n"},
        {"text after the checksum is kept", kExtended8 + kSlot + "  ; crc\r\n", kExtended8 + kStamped + "  ; crc\r\n"},
        {"last line without a line end", kExtended8 + kSlot, kExtended8 + kStamped},
        {"LF ends become CR LF", ":020000040008F2\n" + kSlot + "\n", kExtended8 + kStamped + "\r\n"},
        {"lone CR kept", kExtended8 + "\r" + kSlot + "\r\r\n", kExtended8 + "\r" + kSlot + "\r\r\n"},
        // Any other record at the address is left whole.
        {"another byte count", kExtended8 + ":0209FE00FFFFF9\r\n", kExtended8 + ":0209FE00FFFFF9\r\n"},
        {"another type", kExtended8 + ":0409FE02FFFFFFFFF7\r\n", kExtended8 + ":0409FE02FFFFFFFFF7\r\n"},
        {"line too short", kExtended8 + ":0409FE00FFFFFFFFF\r\n", kExtended8 + ":0409FE00FFFFFFFFF\r\n"},
        {"extended address record at the address", ":020000040008F2\r\n:0209FE040008EB\r\n" + kSlot + "\r\n",
         ":020000040008F2\r\n:0209FE040008EB\r\n" + kStamped + "\r\n"},
        // Past 76 characters a line continues in slots that are never records.
        {"continuation is no extended address", kExtended8 + std::string(76, 'x') + ":020000040009F1\r\n" + kSlot,
         kExtended8 + std::string(76, 'x') + ":020000040009F1\r\n" + kStamped},
        {"continuation is not patched", kExtended8 + std::string(76, 'x') + kSlot + "\r\n",
         kExtended8 + std::string(76, 'x') + kSlot + "\r\n"},
        {"NUL and 0x1A are ordinary bytes", kExtended8 + std::string("a\0b\x1A\r\n", 6) + kSlot + "\r\n\x1A",
         kExtended8 + std::string("a\0b\x1A\r\n", 6) + kStamped + "\r\n\x1A"},
    };
    for (const auto& t : cases) {
        EXPECT_EQ(patched(t.before, 0x0809FE, 0x12345678), t.after) << t.name;
        EXPECT_EQ(patched(t.after, 0x0809FE, 0x12345678), t.after) << t.name << ": twice";
    }
}

TEST(Patcher, BlankAndShortLinesAtTheAddressStayAsTheyWere) {
    // Their header fields read as zeros: type 0 at the extended address.
    const std::string text = ":020000040008F2\r\n\r\n\n:\r\n:04\r\n:0400000\r\n";
    EXPECT_EQ(patched(text, 0x80000, 0x12345678), ":020000040008F2\r\n\r\n\r\n:\r\n:04\r\n:0400000\r\n");
}

TEST(Patcher, NoMatchLeavesTheTextAsItWas) {
    const std::string text = hex_lines({":020000040008F2", kSlot, kEndOfFileRecord});
    EXPECT_EQ(patched(text, kNoCrcAddress, 0), text);
    EXPECT_EQ(patched("", 0x0809FE, 0x12345678), "");
}

TEST(Patcher, FileLongerThanTheOldLineTable) {
    std::vector<std::string> lines = {":020000040008F2"};
    for (std::size_t i = 0; i < kMaxLines * 2; ++i) lines.push_back(data_record(static_cast<std::uint16_t>(i), {1, 2}));
    lines.push_back(":020000040009F1");
    lines.push_back(":04123400FFFFFFFFB6");
    for (std::size_t i = 0; i < kMaxLines; ++i) lines.push_back(std::string(100, 'y'));
    lines.push_back(kEndOfFileRecord);
    const std::string before = hex_lines(lines);
    std::string after = before;
    after.replace(after.find(":04123400FFFFFFFFB6"), 19, ":0412340056781234A2");
    EXPECT_TRUE(patched(before, 0x091234, 0x12345678) == after);  // too long to print
}

TEST(Patcher, CountsStampedRecordsAndChecksThem) {
    const struct {
        std::string text;
        std::size_t stamped;
        CrcCheck check;
    } cases[] = {
        {kExtended8 + kStamped + "\r\n", 1, CrcCheck::kMatches},
        {kExtended8 + ":0409fe0056781234e1\n", 1, CrcCheck::kMatches},  // another tool's lower case
        {kExtended8 + kSlot + "\r\n", 1, CrcCheck::kDiffers},
        {kExtended8 + kStamped + "\r\n" + kSlot + "\r\n", 2, CrcCheck::kDiffers},
        {kExtended8 + ":0409FE0056781234E2\r\n", 1, CrcCheck::kDiffers},
        {kExtended8 + ":0409FE0056781234E\r\n", 0, CrcCheck::kNoCrcRecord},
        {":020000040008F2\r" + kStamped + "\r", 0, CrcCheck::kNoCrcRecord},  // lone CR: one line
        {kEndOfFileRecord, 0, CrcCheck::kNoCrcRecord},
    };
    for (const auto& t : cases) {
        EXPECT_EQ(check_crc_text(t.text, 0x0809FE, 0x12345678), t.check) << t.text;
        FileBytes text(t.text.begin(), t.text.end());
        EXPECT_EQ(patch_crc_text(text, 0x0809FE, 0x12345678), t.stamped) << t.text;
    }
}
