// Loading a HEX file into the flat image.
//
//   ImageBuffer image;            // the caller's, kImageCapacity bytes
//   LoadResult result;            // entry_word must be false before the call
//   FileSnapshot file;            // the file's bytes and handle, kept for the patcher
//   if (load_hex_image(file_name, FileAccess::kRead, file, image, result)) ... result.image_length ...
//
// The records are walked once, front to back, and their data bytes laid into
// the image in record order with 0xFF filling the gaps between records. The
// image declares its CRC address in its first data record's last four bytes
// (the second record's, when the first starts at kEntryAddress and holds the
// entry word). The image ends at the data record that reaches the CRC
// address, before a later data record that starts beyond it, or at the
// end-of-file record.
//
// Every record up to the end-of-file record is read as a strict reader reads
// it: hex digits only, as many as its count says, the length its type fixes,
// and a right checksum (but for the CRC record's, which a stamp replaces).
// After the image, types 03 and 05 may stand too, and no data may lie in the
// image or below it. The records that carry the CRC are found on the way (see
// LoadResult), so that the patcher stamps exactly the records that were read.
//
// A refused file gets one line naming the record at fault, counted in
// records from 1.
#pragma once

#include <string>
#include <string_view>

#include "common/crcstamp.h"
#include "file/file_io.h"

// Walks the bytes of a HEX file already in memory. On failure `message` is the
// line to print, newline included.
bool load_hex_bytes(std::string_view file, ImageBuffer& image, LoadResult& result, std::string& message);

// What a run says of a file that memory cannot hold, or a step of its run
// that memory failed.
constexpr const char* kNoMemory = "not enough memory for this file\n";

// Opens the file at `path` with `access`, reads it whole into `file` and loads
// it, printing a refusal, or why the file could not be read, on stdout.
bool load_hex_image(const std::string& path, FileAccess access, FileSnapshot& file, ImageBuffer& image,
                    LoadResult& result);

// The word address of the first of the two words that declare the CRC
// address, where a boot check reads them: false when there is no CRC address.
bool declaration_address(std::string_view file, const LoadResult& load, std::uint32_t& address);

// Where the record named by a refusal stands: "record N is on line L", or
// "the file ends before record N". Lines count from 1.
std::string describe_fault(std::string_view file, const LoadResult& load);

// What a load found, as lines of text for setting up the boot check and for
// finding out why a CRC record is not found: the image's words, the entry
// word, the CRC address, the line and the word of its declaration, the words
// the CRC covers, the byte `order` it takes them in and whether a unit that
// reads 32-bit values can take them, and the lines of the CRC records. Lines
// count from 1, a CR LF as one line end.
std::string describe_layout(std::string_view file, const LoadResult& load, ByteOrder order);
