// Whole-file access for the loader and the patcher; paths are UTF-8. One
// implementation a platform: file_io_posix.cpp, file_io_windows.cpp.
//
//   FileSnapshot file;
//   if (!read_file_bytes(path, FileAccess::kReadWrite, file)) ...  // "file not found"
//   ... load and stamp file.bytes ...
//   outcome = overwrite_in_place(file, offsets, text);  // or replace_file_bytes(file, source)
//
// A file is opened once, and read whole, in binary, into the tool's own
// memory (not mapped, so that no other writer can change the bytes under the
// walk): NUL and 0x1A are ordinary bytes. Every later step goes through the
// same handle, so that the file written is the file read, never whatever the
// path names by then. Before it writes, the tool makes sure that the file is
// still as it was read, and after it, that the path still names the file it
// wrote: another writer's change wins. On Linux a write lease, where the
// kernel grants one, makes a writer that opens the file meanwhile wait until
// the stamp is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Which file, and which version of it: on Linux the device, inode, size,
// modification time and change time (which no program can set back), each
// time to the nanosecond; on Windows the volume, file ID, size and last-write
// and change times. A change by another writer, in place or by a new file,
// changes at least one of them.
struct FileIdentity {
    std::uint64_t volume = 0, file = 0, size = 0, modified = 0, changed = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && file == other.file && size == other.size && modified == other.modified &&
               changed == other.changed;
    }
};

// The open file: a descriptor on POSIX, a HANDLE on Windows. Closed with the
// snapshot that holds it.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(std::intptr_t native) : native_(native) {}
    FileHandle(FileHandle&& other) noexcept : native_(std::exchange(other.native_, kClosed)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) close(), native_ = std::exchange(other.native_, kClosed);
        return *this;
    }
    ~FileHandle() { close(); }
    std::intptr_t native() const { return native_; }
    bool is_open() const { return native_ != kClosed; }
    void close();  // one implementation a platform

  private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t native_ = kClosed;
};

// A file's bytes, the file they were read from and the handle that read them.
struct FileSnapshot {
    std::string path;
    FileBytes bytes;
    FileIdentity identity;
    FileHandle handle;
    bool writable = false;  // opened for writing, and with a write permission
    bool leased = false;    // held under a write lease: other openers wait for the stamp
};

enum class FileAccess { kRead, kReadWrite };

// The longest path that any of the platforms accepts, in bytes.
constexpr std::size_t kMaxPathLength = 32767;

// Maps the pages of [data, data + size) ahead of their first write: one call
// instead of a page fault a page, which is most of what reading a large file
// into fresh memory costs. A hint only, where the system offers none.
void prefault_for_writing(void* data, std::size_t size);

// Opens the file at `path` and reads it whole. With kReadWrite, a file that
// cannot be opened for writing (or that has no write permission, for an
// administrator too) is opened for reading, and is not writable. False when
// the path is too long, cannot be opened, is not a regular file (a FIFO is
// never waited on), reads short, or does not fit in memory.
bool read_file_bytes(const std::string& path, FileAccess access, FileSnapshot& file);

// kNotFlushed: written, but the flush failed, so the disk may hold the old
// bytes or the new ones.
enum class WriteOutcome { kWritten, kNotWritten, kChanged, kNotFlushed };

// Writes `text` at each of `offsets`, where the same number of bytes stands
// now, through the handle that read the file, and flushes it to disk.
// Nothing else of the file is touched: it keeps its identity, links, owner,
// permissions, attributes and streams. A kill between two writes, or a power
// loss during one, can leave part of the text written. kChanged, with nothing
// written, when the file is no longer as it was read; kChanged too when the
// path names another file once the text is written (an editor saved by
// rename meanwhile).
WriteOutcome overwrite_in_place(FileSnapshot& file, const std::vector<std::size_t>& offsets, std::string_view text);

// The text of a new file, a block at a time: fills `to` with at most `room`
// bytes (room is at least 2) and says how many; 0 at the end.
using TextSource = std::function<std::size_t(char* to, std::size_t room)>;

// Writes the text of `source` through `write` (std::string_view -> bool), in
// blocks of 64 KiB: few calls, and no copy of the whole text.
template <class Write>
bool write_in_blocks(const TextSource& source, Write&& write) {
    std::vector<char> block(1 << 16);
    for (std::size_t size = source(block.data(), block.size()); size > 0; size = source(block.data(), block.size())) {
        if (!write(std::string_view(block.data(), size))) return false;
    }
    return true;
}

// Replaces the file that was read (a symbolic link's target) with `text`: a
// temporary file in its folder, flushed to disk, takes its place, so that a
// crash at any moment leaves either the old file or the new one. On POSIX
// every step goes through one handle on the folder, checked to hold the file.
// The new file gets exactly the old one's permissions, extended attributes
// and ACL (nothing its folder would hand down), its owner and group where the
// runner may set them (on Windows its attributes, creation time, security and
// streams). kNotWritten, with the file untouched, when it is not writable,
// has other hard links (a replacement would split them) or any step fails;
// kChanged, with the file as it was, when it is no longer as it was read, its
// path names another file, or a writer waits on its lease.
WriteOutcome replace_file_bytes(FileSnapshot& file, const TextSource& text);
