// Whole-file access for the loader and the patcher; paths are UTF-8. One
// implementation a platform: file_io_posix.cpp, file_io_windows.cpp.
//
//   FileSnapshot file;
//   if (read_file_bytes(path, FileAccess::kReadWrite, file) != ReadOutcome::kRead) ...
//   ... load file.bytes, then change some of them ...
//   outcome = write_in_place(file, offsets, length);
//
// A file is opened once, and read whole, in binary, into the tool's own
// memory (not mapped, so that no other writer can change the bytes under the
// walk): NUL and 0x1A are ordinary bytes. Every later step goes through the
// same handle, so that the file written is the file read, never whatever the
// path names by then, and only the bytes that change are written, where they
// stand: the file keeps its length, identity, links, owner, permissions,
// attributes and streams. Before it writes, the tool makes sure that the file
// is still as it was read; after it, unless a lease held to the end kept all
// other openers out, that the file holds exactly the text it read with the
// changes; and that the path still names it.
#pragma once

#include <cstddef>
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

// Why a file was not read: kNotFound for anything about the file itself (it
// does not exist, cannot be opened, is no regular file, reads short);
// kNoMemory and kNoHandles when the system is short of memory or of handles
// to open it. Memory for its bytes that cannot be had is std::bad_alloc.
enum class ReadOutcome { kRead, kNotFound, kNoMemory, kNoHandles };

// Opens the file at `path` and reads it whole. With kReadWrite, a file that
// cannot be opened for writing (or that has no write permission, for an
// administrator too) is opened for reading, and is not writable. A FIFO, a
// device or a folder is refused without being opened. An open waits, as any
// opener does, while another program holds the file for its own stamp.
ReadOutcome read_file_bytes(const std::string& path, FileAccess access, FileSnapshot& file);

// kChanged: another program changed the file, or put another at its path, so
// nothing was written (or, after the write, the path names another file).
// kPartlyWritten: a write failed after an earlier one. kChangedWhileWriting:
// written, but the file does not hold exactly the text read with the changes,
// so another program wrote too. kNotFlushed: written, but the flush failed,
// so the disk may hold the old bytes or the new ones.
enum class WriteOutcome { kWritten, kNotWritten, kChanged, kPartlyWritten, kChangedWhileWriting, kNotFlushed };

// Writes the `length` bytes of `file.bytes` at each of `offsets` to the same
// place in the file, through the handle that read it, and flushes it to disk.
// Nothing is written when the file is not writable, no longer as it was read,
// or a write could not reach the last of them (a file size limit). A kill
// between two writes, or a power loss during one, can leave part of the text
// written.
WriteOutcome write_in_place(FileSnapshot& file, const std::vector<std::size_t>& offsets, std::size_t length);
