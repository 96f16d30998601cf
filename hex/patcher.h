// Writing the CRC into the HEX file, or checking the CRC already there.
//
//   switch (patch_crc_record(path, file, result.crc_address, crc)) ...
//   if (check_crc_text(file, result.crc_address, crc) == CrcCheck::kMatches) ...
//
// `file` holds the bytes the loader read, so the CRC goes into exactly the
// text it was computed from, even if the file changes on disk meanwhile.
//
// The CRC record is every four-byte data record whose absolute word address
// is the CRC address. It gets the CRC as its data, low word first and each
// word high byte first (the layout in which the loader reads the CRC address
// from the image), and a fresh checksum. Every other byte of the file comes
// back as it was, except that each line end is written as CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hex/file_io.h"

// Offsets of the ':' of every CRC record in the text. A line's header fields
// are read from its first 76 characters only, so a long line's continuation
// is never taken for a record. Counts the lines that end in a lone LF.
std::vector<std::size_t> find_crc_records(std::string_view text, std::uint32_t crc_address,
                                          std::size_t* lone_newlines = nullptr);

// Stamps the CRC into the text, in place, and ends every line with CR LF.
// Returns how many records were stamped.
std::size_t patch_crc_text(FileBytes& text, std::uint32_t crc_address, std::uint32_t crc);

enum class PatchOutcome { kStamped, kNoCrcRecord, kNotWritten };

// Stamps `file` and replaces the file at `path` with it. A file with no CRC
// record, or one that cannot be replaced, is left exactly as it was.
PatchOutcome patch_crc_record(const std::string& path, FileBytes& file, std::uint32_t crc_address,
                              std::uint32_t crc);

enum class CrcCheck { kMatches, kDiffers, kNoCrcRecord };

// Whether every CRC record already holds the CRC and its checksum; digits of
// either case match.
CrcCheck check_crc_text(std::string_view text, std::uint32_t crc_address, std::uint32_t crc);
