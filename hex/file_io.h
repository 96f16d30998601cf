// Whole-file access for the loader and the patcher; paths are UTF-8.
//
// Files are read in binary, whole, into a buffer of their exact size: NUL and
// 0x1A are ordinary bytes. A file is replaced, never rewritten in place: the
// new bytes go to a temporary file in the same directory, flushed to disk,
// which is then renamed over the old one, so a crash at any moment leaves
// either the old file or the new one.
#pragma once

#include <string>
#include <string_view>

// False when the path cannot be opened, is not a regular file, or reads short.
bool read_file_bytes(const std::string& path, std::string& bytes);

// Replaces the file's bytes, keeping its permissions; a symbolic link's
// target is what gets replaced. False, with the file untouched, when the file
// is read-only (for an administrator too) or any step fails.
bool replace_file_bytes(const std::string& path, std::string_view bytes);
