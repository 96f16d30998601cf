// Writing the CRC into the HEX file, or checking the CRC already there.
//
//   if (load_hex_image(path, file, image, result) && !result.crc_records.empty())
//       outcome = patch_crc_record(path, file, result, crc);   // or crc_records_match(...)
//
// `file` holds the bytes the loader read, and the handle it read them by, so
// the CRC goes into exactly the text it was computed from, in the file it was
// read from.
//
// The CRC records are the ones the loader found: four-byte data records at
// the CRC address, each alone on its line. Each gets the CRC as its data, low
// word first and each word high byte first (the layout in which the loader
// reads the CRC address from the image), and a fresh checksum. Every other
// byte of the file stays as it was, except that each line end is written as
// CR LF. A file whose lines all end so already keeps its length, and only the
// ten characters of each CRC record are written, where they stand; any other
// file is replaced by its stamped text.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/crcstamp.h"
#include "file/file_io.h"

// Stamps the CRC into the CRC records of `text`, in place, and ends every
// line with CR LF.
void patch_crc_text(FileBytes& text, const LoadResult& load, std::uint32_t crc);

// `text` with every line ended in CR LF (a lone LF gets a CR; a lone CR stays
// text), a block at a time: what replaces a file whose lines do not all end so.
TextSource crlf_text(std::string_view text);

// Stamps the file that `file` was read from, in place or by replacement,
// unless it is no longer as it was read.
WriteOutcome patch_crc_record(FileSnapshot& file, const LoadResult& load, std::uint32_t crc);

// Whether there is a CRC record and every one holds the CRC and its checksum;
// digits of either case match.
bool crc_records_match(std::string_view text, const LoadResult& load, std::uint32_t crc);
