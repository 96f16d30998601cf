// crcstamp [--low-byte-first] [--check | --info] FILE...: validates Intel HEX
// firmware images, prints each one's CRC-32 and the checksum of the record
// that carries it, and stamps the CRC into the file, or with --check verifies
// the CRC already there, or with --info reports the layout it found.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <new>
#include <string_view>

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
    "usage: crcstamp [--low-byte-first] FILE...\n"
    "       crcstamp [--low-byte-first] --check FILE...\n"
    "       crcstamp [--low-byte-first] --info FILE...\n"
    "       crcstamp --help | --version\n"
    "\n"
    "Stamps the CRC-32 of the firmware image in each Intel HEX file FILE into the\n"
    "image's CRC record; --check verifies the CRC already there and writes nothing;\n"
    "--info reports the image, the CRC address, the covered words and the CRC\n"
    "records that it finds, and writes nothing. --low-byte-first feeds each 16-bit\n"
    "word to the CRC low byte first, as a DSP's CRC unit reads it; the CRC record's\n"
    "layout stays the same. With no FILE one name is read from standard input.\n"
    "Options go before the file names.\n"
    "\n"
    "Exit status: 0 when every file was stamped (with --check: when every CRC\n"
    "matches; with --info: when every file loads), 1 on any failure.\n";

// Only an exact option is one: any other argument is a file name.
const std::string kOptions[] = {"--check", "--info", "--low-byte-first", "--help", "--version"};

enum class Mode { kStamp, kCheck, kInfo };

bool is_option(const std::string& argument) {
    return std::find(std::begin(kOptions), std::end(kOptions), argument) != std::end(kOptions);
}

void print_not_found(std::uint32_t crc_address) {
    if (crc_address == kNoCrcAddress) {
        std::puts("CRC record not found: no CRC address in the image");
    } else {
        std::printf("CRC record not found at word 0x%06X\n", static_cast<unsigned>(crc_address));
    }
}

// Loads `file_name`, prints its CRC and record checksum, and stamps or checks
// the CRC records, or reports the layout. Returns the exit status.
int process_file(Mode mode, ByteOrder order) {
    static ImageBuffer image;
    LoadResult result;  // starts with the entry-word flag clear: the loader only sets it
    // Opened and read once: the CRC goes into exactly the bytes it was computed from, in that file.
    FileSnapshot file;
    const FileAccess access = mode == Mode::kStamp ? FileAccess::kReadWrite : FileAccess::kRead;
    if (!load_hex_image(file_name, access, file, image, result)) {
        if (mode == Mode::kInfo && result.fault_record != 0)
            std::fputs(describe_fault(view_of(file.bytes), result).c_str(), stdout);
        return kFailure;
    }
    const std::uint32_t crc = compute_image_crc(image, result.image_length, result.entry_word, order);
    std::printf("%08X\n%02X\n", static_cast<unsigned>(crc),
                static_cast<unsigned>(crc_record_checksum(result.crc_address, crc)));
    std::fflush(stdout);
    if (mode == Mode::kInfo) {
        std::fputs(describe_layout(view_of(file.bytes), result, order).c_str(), stdout);
        return kSuccess;
    }

    // Whoever reads the CRC off the screen must know when the file was not stamped.
    if (result.crc_records.empty()) {
        print_not_found(result.crc_address);
        return kFailure;
    }
    if (mode == Mode::kCheck) {
        if (crc_records_match(view_of(file.bytes), result, crc)) {
            std::puts("CRC matches");
            return kSuccess;
        }
        std::puts("CRC does not match");
        // A file stamped for the other kind of CRC unit is the likeliest mismatch of all.
        const ByteOrder other =
            order == ByteOrder::kHighByteFirst ? ByteOrder::kLowByteFirst : ByteOrder::kHighByteFirst;
        if (crc_records_match(view_of(file.bytes), result,
                              compute_image_crc(image, result.image_length, result.entry_word, other))) {
            std::puts(
                other == ByteOrder::kLowByteFirst
                    ? "the CRC matches with each word low byte first: crcstamp --low-byte-first --check"
                    : "the CRC matches with each word high byte first: crcstamp --check, without --low-byte-first");
        }
        return kFailure;
    }
    switch (patch_crc_record(file, result, crc)) {
        case WriteOutcome::kWritten:
            return kSuccess;
        case WriteOutcome::kNotWritten:
            std::puts("file not written");
            break;
        case WriteOutcome::kChanged:
            std::puts("file changed while stamping, not written");
            break;
        case WriteOutcome::kPartlyWritten:
            std::puts("file partly written, crcstamp --check tells what it holds now");
            break;
        case WriteOutcome::kChangedWhileWriting:
            std::puts("file changed while stamping, crcstamp --check tells what it holds now");
            break;
        case WriteOutcome::kNotFlushed:
            std::puts("file written, but not flushed to disk");
            break;
    }
    return kFailure;
}

// `text` as one line of the tool's output: its control characters (C0, DEL,
// and C1 as UTF-8 writes them) shown as \xHH, so that a file name can neither
// forge a line nor drive a terminal.
std::string printable(std::string_view text) {
    std::string shown;
    const auto escape = [&shown](unsigned char c) {
        const char* const digits = "0123456789ABCDEF";
        shown += {'\\', 'x', digits[c >> 4], digits[c & 15]};
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            escape(c), escape(static_cast<unsigned char>(next)), ++i;
        } else if (c < 0x20 || c == 0x7F) {
            escape(c);
        } else {
            shown += text[i];
        }
    }
    return shown;
}

// Arguments that name no run: why, then the usage.
int refuse_arguments(const std::string& why) {
    std::fputs((why + "\n").c_str(), stdout);
    std::fputs(kUsage, stdout);
    return kFailure;
}

// A verdict that never reached its reader is no success.
int with_output_written(int status) { return std::fflush(stdout) == 0 && !std::ferror(stdout) ? status : kFailure; }

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = open_console(argc, argv);
    const auto from = [&arguments](std::size_t index) {
        return arguments.begin() + static_cast<std::ptrdiff_t>(std::min(index, arguments.size()));
    };
    const auto names_from = std::find_if_not(from(1), arguments.end(), is_option);
    if (std::any_of(names_from, arguments.end(), is_option))
        return refuse_arguments("options go before the file names");
    const auto given = [&](const char* option) { return std::find(from(1), names_from, option) != names_from; };
    // A mistyped option is not a file: "--Check fw.hex" must not stamp fw.hex.
    const std::string first = names_from != arguments.end() ? *names_from : std::string();
    std::error_code ignored;
    if (first.size() > 1 && first[0] == '-' && !std::filesystem::exists(std::filesystem::u8path(first), ignored))
        return refuse_arguments("unknown option " + printable(first));
    if (given("--help") || given("--version")) {
        std::fputs(given("--help") ? kUsage : "crcstamp " CRCSTAMP_VERSION "\n", stdout);
        return with_output_written(kSuccess);
    }
    if (given("--check") && given("--info")) return refuse_arguments("--check and --info do not go together");
    const Mode mode = given("--check") ? Mode::kCheck : given("--info") ? Mode::kInfo : Mode::kStamp;
    const ByteOrder order = given("--low-byte-first") ? ByteOrder::kLowByteFirst : ByteOrder::kHighByteFirst;
    std::vector<std::string> names(names_from, arguments.end());
    if (names.empty()) names.push_back(read_word_from_stdin(kMaxPathLength));

    int status = kSuccess;
    for (const std::string& name : names) {
        file_name = name;
        std::puts(printable(file_name).c_str());
        std::fflush(stdout);
        try {
            if (process_file(mode, order) != kSuccess) status = kFailure;
        } catch (const std::bad_alloc&) {  // a file larger than memory allows; the next may well fit
            std::fputs(kNoMemory, stdout);
            status = kFailure;
        }
    }
    wait_for_key();
    return with_output_written(status);
}
