// Writing the CRC into the HEX file.
//
//   if (!patch_crc_record(path, file, result.crc_address, crc)) ... not written ...
//
// `file` holds the bytes the loader read, so the CRC goes into exactly the
// text it was computed from, even if the file changes on disk meanwhile.
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

// Stamps the CRC into the text of a HEX file, in place, and ends every line
// with CR LF.
void patch_crc_text(std::string& text, std::uint32_t crc_address, std::uint32_t crc);

// Stamps `file` and replaces the file at `path` with it. False when the file
// could not be replaced; it is then left as it was.
bool patch_crc_record(const std::string& path, std::string& file, std::uint32_t crc_address, std::uint32_t crc);
