// Writing the CRC into the HEX file.
//
//   if (!patch_crc_record(path, result.crc_address, crc)) ... not written ...
//
// Every four-byte data record whose absolute word address is the CRC address
// gets the CRC as its data, low word first and each word high byte first
// (the layout in which the loader reads the CRC address from the image), and
// a fresh checksum. Every other byte of the file comes back as it was, except
// that each line end is written as CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Appends to `out` the text of a HEX file with the CRC record patched.
void patch_crc_text(std::string_view text, std::uint32_t crc_address, std::uint32_t crc, std::string& out);

// Rewrites the file at `path` with the CRC record patched. False when the file
// could not be read whole or replaced; it is then left as it was.
bool patch_crc_record(const std::string& path, std::uint32_t crc_address, std::uint32_t crc);
