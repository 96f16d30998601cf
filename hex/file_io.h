// Whole-file access for the loader and the patcher; paths are UTF-8. One
// implementation a platform: file_io_posix.cpp, file_io_windows.cpp.
//
// Files are read in binary, whole, into a buffer of their exact size: NUL and
// 0x1A are ordinary bytes. A file is replaced, never rewritten in place: the
// new bytes go to a temporary file in the same directory, flushed to disk,
// which then takes the old one's place, so a crash at any moment leaves
// either the old file or the new one. It takes its place only if the file is
// still the one that was read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// Leaves the elements that resize() adds as they are, so that a file is read
// into memory that was not zero-filled first.
template <class T>
struct NoZeroFill : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = NoZeroFill<U>;
    };
    NoZeroFill() = default;
    template <class U>
    NoZeroFill(const NoZeroFill<U>&) noexcept {}
    template <class U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// A file's bytes as read, and then as stamped.
using FileBytes = std::vector<char, NoZeroFill<char>>;

inline std::string_view view_of(const FileBytes& bytes) { return {bytes.data(), bytes.size()}; }

// Which file, and which version of it: on Linux the device, inode, size and
// modification time to the nanosecond; on Windows the volume, file ID, size
// and last-write time. A change by another writer, in place or by a new
// file, changes at least one of them.
struct FileIdentity {
    std::uint64_t volume = 0, file = 0, size = 0, modified = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && file == other.file && size == other.size && modified == other.modified;
    }
};

// A file's bytes and the file they were read from.
struct FileSnapshot {
    FileBytes bytes;
    FileIdentity identity;
};

// Maps the pages of [data, data + size) ahead of their first write: one call
// instead of a page fault a page, which is most of what reading a large file
// into fresh memory costs. A hint only, where the system offers none.
void prefault_for_writing(void* data, std::size_t size);

// False when the path cannot be opened, is not a regular file, or reads short.
bool read_file_bytes(const std::string& path, FileSnapshot& file);

enum class ReplaceOutcome { kReplaced, kNotWritten, kChanged };

// Replaces the file's bytes, keeping its permissions (on Windows its
// attributes, creation time, security and streams); a symbolic link's target
// is what gets replaced. kNotWritten, with the file untouched, when the file
// is read-only (for an administrator too) or any step fails; kChanged, with
// the file as another writer left it, when it is no longer `read_as`.
ReplaceOutcome replace_file_bytes(const std::string& path, std::string_view bytes, const FileIdentity& read_as);
