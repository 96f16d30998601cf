// crcstamp [--check] FILE: validates an Intel HEX firmware image, prints its
// CRC-32 and the checksum of the record that carries it, and stamps the CRC
// into the file, or with --check verifies the CRC already there.
#include <cstdio>

#include "app/console.h"
#include "common/crcstamp.h"
#include "crc/crc.h"
#include "hex/loader.h"
#include "hex/patcher.h"

std::string file_name;

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

constexpr const char* kUsage =
    "usage: crcstamp FILE\n"
    "       crcstamp --check FILE\n"
    "       crcstamp --help | --version\n"
    "\n"
    "Stamps the CRC-32 of the firmware image in the Intel HEX file FILE into the\n"
    "image's CRC record; --check verifies the CRC already there and writes nothing.\n"
    "With no FILE the name is read from standard input.\n"
    "\n"
    "Exit status: 0 when the file was stamped (with --check: when its CRC\n"
    "matches), 1 on any failure.\n";

// Loads the file, prints its CRC and record checksum, and stamps or checks
// the CRC record. Returns the exit status.
int stamp_or_check(bool check_only) {
    static ImageBuffer image;
    LoadResult result;  // starts with the entry-word flag clear: the loader only sets it
    // Read once: the CRC goes into exactly the bytes it was computed from.
    FileBytes file;
    if (!load_hex_image(file_name, file, image, result)) return kFailure;
    const std::uint32_t crc = compute_image_crc(image, result.image_length, result.entry_word);
    std::printf("%08X\n%02X\n", static_cast<unsigned>(crc),
                static_cast<unsigned>(crc_record_checksum(result.crc_address, crc)));
    std::fflush(stdout);

    // Whoever reads the CRC off the screen must know when the file was not stamped.
    if (check_only) {
        switch (check_crc_text(view_of(file), result.crc_address, crc)) {
            case CrcCheck::kMatches: std::puts("CRC matches"); return kSuccess;
            case CrcCheck::kDiffers: std::puts("CRC does not match"); return kFailure;
            case CrcCheck::kNoCrcRecord: break;
        }
    } else {
        switch (patch_crc_record(file_name, file, result.crc_address, crc)) {
            case PatchOutcome::kStamped: return kSuccess;
            case PatchOutcome::kNotWritten: std::puts("file not written"); return kFailure;
            case PatchOutcome::kNoCrcRecord: break;
        }
    }
    std::puts("CRC record not found");
    return kFailure;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = open_console(argc, argv);
    // Only an exact option is one: any other first argument is the file name.
    const std::string first = arguments.size() > 1 ? arguments[1] : std::string();
    if (first == "--help" || first == "--version") {
        std::fputs(first == "--help" ? kUsage : "crcstamp " CRCSTAMP_VERSION "\n", stdout);
        return kSuccess;
    }
    const bool check_only = first == "--check";
    const std::size_t name_at = check_only ? 2 : 1;
    file_name = arguments.size() > name_at ? arguments[name_at] : read_word_from_stdin();
    std::fwrite(file_name.data(), 1, file_name.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);

    const int status = stamp_or_check(check_only);
    wait_for_key();
    return status;
}
