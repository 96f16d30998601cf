#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <utility>

#include "file/file_io.h"

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

int fd_of(const FileSnapshot& file) { return static_cast<int>(file.handle.native()); }

std::uint64_t nanoseconds(const timespec& time) {
    return static_cast<std::uint64_t>(time.tv_sec) * 1000000000u + static_cast<std::uint64_t>(time.tv_nsec);
}

FileIdentity identity_of(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// `path` names the file open as `fd`.
bool names(const std::string& path, int fd) {
    struct stat held {
    }, named{};
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && same_file(named, held);
}

// The open file is as it was read, and its path still names it.
bool unchanged(const FileSnapshot& file) {
    struct stat held {};
    return fstat(fd_of(file), &held) == 0 && identity_of(held) == file.identity && names(file.path, fd_of(file));
}

// Lets a waiting writer in.
void release_lease(FileSnapshot& file) {
    if (file.leased) fcntl(fd_of(file), F_SETLEASE, F_UNLCK);
    file.leased = false;
}

bool write_all(int fd, std::string_view bytes, off_t at) {
    while (!bytes.empty()) {
        const ssize_t written = pwrite(fd, bytes.data(), bytes.size(), at);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
        at += written;
    }
    return true;
}

// The open file holds exactly `expected`, read back a block at a time.
bool holds_exactly(int fd, std::string_view expected) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || static_cast<std::uint64_t>(info.st_size) != expected.size()) return false;
    char block[1 << 16];
    for (std::size_t at = 0; at < expected.size();) {
        const ssize_t got = pread(fd, block, std::min(sizeof block, expected.size() - at), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || expected.compare(at, static_cast<std::size_t>(got), block, static_cast<std::size_t>(got)) != 0)
            return false;
        at += static_cast<std::size_t>(got);
    }
    return true;
}

// Whether a write that ends at `end` stays within the file size limit: past
// it, a write fails (or ends the run with SIGXFSZ) after the earlier ones.
bool within_size_limit(std::uint64_t end) {
    rlimit limit{};
    return getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || end <= limit.rlim_cur;
}

ReadOutcome failure_of(int error) {
    if (error == ENOMEM) return ReadOutcome::kNoMemory;
    return error == EMFILE || error == ENFILE ? ReadOutcome::kNoHandles : ReadOutcome::kNotFound;
}

// Opens the file that `located` (an O_PATH descriptor) stands for, by itself
// through /proc where it is mounted, else by `path` again (checked by the
// caller). Without O_NONBLOCK, so that under another program's lease the open
// waits, as any opener does.
int open_located(int located, const std::string& path, int flags) {
    flags |= O_CLOEXEC | O_NOCTTY;
    const int fd = open(("/proc/self/fd/" + std::to_string(located)).c_str(), flags);
    return fd < 0 && errno == ENOENT ? open(path.c_str(), flags) : fd;
}

}  // namespace

void FileHandle::close() {
    if (native_ != kClosed) ::close(static_cast<int>(native_));
    native_ = kClosed;
}

void prefault_for_writing(void* data, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    if (size == 0) return;
    const auto page_size = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data) & ~(page_size - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(data) + size;
    // Older kernels refuse the advice; the pages then fault in one by one.
    static_cast<void>(madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE));
#else
    static_cast<void>(data);
    static_cast<void>(size);
#endif
}

ReadOutcome read_file_bytes(const std::string& path, FileAccess access, FileSnapshot& file) {
    if (path.size() > kMaxPathLength) return ReadOutcome::kNotFound;
    // A path descriptor opens nothing: a FIFO (and whoever writes into it) or a
    // device is left alone, and no other program's lease is broken.
    Descriptor located{open(path.c_str(), O_PATH | O_CLOEXEC)};
    struct stat info {};
    if (located.fd < 0) return failure_of(errno);
    if (fstat(located.fd, &info) != 0 || !S_ISREG(info.st_mode)) return ReadOutcome::kNotFound;
    int fd = access == FileAccess::kReadWrite ? open_located(located.fd, path, O_RDWR) : -1;
    file.writable = fd >= 0;
    if (fd < 0) fd = open_located(located.fd, path, O_RDONLY);
    const int error = errno;
    file.handle = FileHandle(fd);
    // Closed before the lease is asked for: some kernels count it as another opener.
    ::close(std::exchange(located.fd, -1));
    struct stat opened {};
    if (fd < 0) return failure_of(error);
    if (fstat(fd, &opened) != 0 || !same_file(opened, info)) return ReadOutcome::kNotFound;
    // No write bit means read-only, also for root, whom open() never refuses.
    file.writable = file.writable && (opened.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    if (file.writable) {
        // From here until the stamp is flushed, another opener waits (up to the
        // kernel's lease-break time). Its signal is only a notice: it must not
        // end the run. The kernel grants the lease to the file's owner or a
        // holder of CAP_LEASE, when nobody else has the file open.
        std::signal(SIGIO, SIG_IGN);
        file.leased = fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    }
    file.path = path;
    file.identity = identity_of(opened);
    file.bytes.resize(static_cast<std::size_t>(opened.st_size));  // std::bad_alloc where memory cannot hold it
    prefault_for_writing(file.bytes.data(), file.bytes.size());
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        const ssize_t got = read(fd, file.bytes.data() + done, file.bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return ReadOutcome::kNotFound;
        done += static_cast<std::size_t>(got);
    }
    return ReadOutcome::kRead;
}

WriteOutcome write_in_place(FileSnapshot& file, const std::vector<std::size_t>& offsets, std::size_t length) {
    const std::uint64_t end = offsets.empty() ? 0 : *std::max_element(offsets.begin(), offsets.end()) + length;
    if (!file.writable || !within_size_limit(end)) return WriteOutcome::kNotWritten;
    // Under a lease nobody has opened the file since the read; without one, this is the last look.
    if (!unchanged(file)) return WriteOutcome::kChanged;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (!write_all(fd_of(file), view_of(file.bytes).substr(offsets[i], length), static_cast<off_t>(offsets[i])))
            return i == 0 ? WriteOutcome::kNotWritten : WriteOutcome::kPartlyWritten;
    }
    if (fsync(fd_of(file)) != 0) return WriteOutcome::kNotFlushed;
    // A lease still held whole means that nobody opened the file meanwhile.
    // Otherwise another program may have got in: one waiting now is harmless,
    // but one let in after the kernel's lease-break time (a run stalled that
    // long) may have written too, and only the file's text tells.
    const bool alone = file.leased && fcntl(fd_of(file), F_GETLEASE) == F_WRLCK;
    const bool as_stamped = alone || holds_exactly(fd_of(file), view_of(file.bytes));
    release_lease(file);
    if (!as_stamped) return WriteOutcome::kChangedWhileWriting;
    // An editor that saved by rename meanwhile has the path: the file its user sees is not stamped.
    return names(file.path, fd_of(file)) ? WriteOutcome::kWritten : WriteOutcome::kChanged;
}
