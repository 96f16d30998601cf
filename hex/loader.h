// Loading a HEX file into the flat image.
//
//   ImageBuffer image;            // the caller's, kImageCapacity bytes
//   LoadResult result;            // entry_word must be false before the call
//   FileSnapshot file;            // the file's bytes, kept for the patcher
//   if (load_hex_image(file_name, file, image, result)) ... result.image_length ...
//
// The records are walked once, front to back, and their data bytes laid into
// the image in record order with 0xFF filling the gaps between records. The
// image declares its CRC address in its first data record's last four bytes
// (the second record's, when the first starts at kEntryAddress and holds the
// entry word). The image ends at the data record that reaches the CRC
// address, before a later data record that starts beyond it, or at the
// end-of-file record.
//
// The rest of the file, up to the end-of-file record, is read too: every
// record must be whole with a right checksum, of whatever type, and no data
// record may land on a word of the image. The records that carry the CRC are
// found on the way (see LoadResult), so that the patcher stamps exactly the
// records that were read, and nothing that only looks like one.
//
// A refused file gets one line naming the record at fault, counted in
// records from 1.
#pragma once

#include <string>
#include <string_view>

#include "common/crcstamp.h"
#include "hex/file_io.h"

// Walks the bytes of a HEX file already in memory. On failure `message` is the
// line to print, newline included.
bool load_hex_bytes(std::string_view file, ImageBuffer& image, LoadResult& result, std::string& message);

// Reads the file at `path` whole into `file` and loads it, printing a refusal
// on stdout.
bool load_hex_image(const std::string& path, FileSnapshot& file, ImageBuffer& image, LoadResult& result);

// What a load found, as lines of text for setting up the boot check and for
// finding out why a CRC record is not found: the image's words, the entry
// word, the CRC address and the line that declares it, the words the CRC
// covers and the lines of the CRC records. Lines count from 1, a CR LF as one
// line end.
std::string describe_layout(std::string_view file, const LoadResult& load);
