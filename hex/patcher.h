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
// reads the CRC address from the image), and a fresh checksum: ten
// characters, written where they stand. Every other byte of the file, its
// line ends whatever they are among them, stays as it was.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/crcstamp.h"
#include "file/file_io.h"

// Stamps the CRC into the CRC records of `text`, in memory.
void patch_crc_text(FileBytes& text, const LoadResult& load, std::uint32_t crc);

// Stamps the CRC into `file.bytes` and into the file they were read from,
// unless it is no longer as it was read.
WriteOutcome patch_crc_record(FileSnapshot& file, const LoadResult& load, std::uint32_t crc);

// Whether there is a CRC record and every one holds the CRC and its checksum;
// digits of either case match.
bool crc_records_match(std::string_view text, const LoadResult& load, std::uint32_t crc);
