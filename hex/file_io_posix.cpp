#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <new>

#include "hex/file_io.h"

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

// The open file is as it was read, and `path` still names it.
bool unchanged(const FileSnapshot& file, const std::string& path) {
    struct stat held {
    }, named{};
    return fstat(fd_of(file), &held) == 0 && identity_of(held) == file.identity && stat(path.c_str(), &named) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
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

// The folder of an absolute path.
std::string directory_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The path of the open file itself, whatever name led to it.
std::string path_of(int fd) {
    std::string path(4096, '\0');
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(self.c_str(), path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size() || path[0] != '/') return {};
    path.resize(static_cast<std::size_t>(length));
    return path;
}

// Every extended attribute `from` has, the ACL among them, onto `to`.
bool copy_extended_attributes(int from, int to) {
    const ssize_t size = flistxattr(from, nullptr, 0);
    if (size <= 0) return size == 0 || errno == ENOTSUP;
    std::string names(static_cast<std::size_t>(size), '\0');
    const ssize_t listed = flistxattr(from, names.data(), names.size());
    if (listed < 0) return false;
    names.resize(static_cast<std::size_t>(listed));
    std::string value;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        const ssize_t value_size = fgetxattr(from, name, nullptr, 0);
        if (value_size < 0) return false;
        value.resize(static_cast<std::size_t>(value_size));
        if (fgetxattr(from, name, value.data(), value.size()) != value_size ||
            fsetxattr(to, name, value.data(), value.size(), 0) != 0)
            return false;
    }
    return true;
}

// The new file gets the bytes, then the old one's group (and owner, where the
// runner is root), attributes and mode, on disk. A chown clears set-user-ID
// bits and file capabilities, so the mode and attributes come after it.
bool fill(int fd, int old_fd, const struct stat& old, const TextSource& text) {
    const bool owner_kept =
        fchown(fd, geteuid() == 0 ? old.st_uid : static_cast<uid_t>(-1), old.st_gid) == 0 || geteuid() != 0;
    off_t at = 0;
    const auto append = [fd, &at](std::string_view bytes) {
        const bool written = write_all(fd, bytes, at);
        at += static_cast<off_t>(bytes.size());
        return written;
    };
    return owner_kept && write_in_blocks(text, append) && copy_extended_attributes(old_fd, fd) &&
           fchmod(fd, old.st_mode & 07777) == 0 && fsync(fd) == 0;
}

// A file of `directory` with no name until it is complete, so that a kill
// while writing leaves nothing behind; where the file system has no such
// files, a named one that a kill can leave.
bool create_temporary(const std::string& directory, Descriptor& out, std::string& named) {
    out.fd = open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (out.fd >= 0) return true;
    named = directory + "/.crcstamp-XXXXXX";
    out.fd = mkostemp(named.data(), O_CLOEXEC);
    return out.fd >= 0;
}

// Gives an unnamed file a name of its own in `directory`.
bool link_unnamed(int fd, const std::string& directory, std::string& temp) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temp = directory + "/.crcstamp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

// Holds back the signals that end a program by default, from a temporary
// file's name to its rename, so that a kill cannot leave it between the two.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &saved_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

  private:
    sigset_t saved_{};
};

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

bool read_file_bytes(const std::string& path, FileAccess access, FileSnapshot& file) {
    if (path.size() > kMaxPathLength) return false;
    // Non-blocking, so that a FIFO with no writer is refused at once, not waited on.
    constexpr int kFlags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = access == FileAccess::kReadWrite ? open(path.c_str(), O_RDWR | kFlags) : -1;
    file.writable = fd >= 0;
    if (fd < 0) fd = open(path.c_str(), O_RDONLY | kFlags);
    file.handle = FileHandle(fd);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    // No write bit means read-only, also for root, whom open() never refuses.
    file.writable = file.writable && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    file.path = path;
    file.identity = identity_of(info);
    try {
        file.bytes.resize(static_cast<std::size_t>(info.st_size));
    } catch (const std::exception&) {  // too large for memory: a file that cannot be read whole
        return false;
    }
    prefault_for_writing(file.bytes.data(), file.bytes.size());
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        const ssize_t got = read(fd, file.bytes.data() + done, file.bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

WriteOutcome overwrite_in_place(FileSnapshot& file, const std::vector<std::size_t>& offsets, std::string_view text) {
    if (!file.writable) return WriteOutcome::kNotWritten;
    if (!unchanged(file, file.path)) return WriteOutcome::kChanged;
    for (const std::size_t at : offsets) {
        if (!write_all(fd_of(file), text, static_cast<off_t>(at))) return WriteOutcome::kNotWritten;
    }
    return fsync(fd_of(file)) == 0 ? WriteOutcome::kWritten : WriteOutcome::kNotWritten;
}

WriteOutcome replace_file_bytes(FileSnapshot& file, const TextSource& text) {
    if (!file.writable) return WriteOutcome::kNotWritten;
    if (!unchanged(file, file.path)) return WriteOutcome::kChanged;
    struct stat info {};
    const std::string target = path_of(fd_of(file));
    if (fstat(fd_of(file), &info) != 0 || info.st_nlink != 1 || target.empty()) return WriteOutcome::kNotWritten;

    const std::string directory = directory_of(target);
    Descriptor out{-1};
    std::string temp;
    if (!create_temporary(directory, out, temp)) return WriteOutcome::kNotWritten;
    const bool unnamed = temp.empty();
    if (!fill(out.fd, fd_of(file), info, text)) {
        if (!unnamed) unlink(temp.c_str());
        return WriteOutcome::kNotWritten;
    }
    WriteOutcome outcome = WriteOutcome::kWritten;
    {
        const SignalsHeld held;
        // Last look before the rename: a change made since the read wins.
        if (unnamed && !link_unnamed(out.fd, directory, temp)) return WriteOutcome::kNotWritten;
        if (!unchanged(file, target) || !unchanged(file, file.path)) {
            outcome = WriteOutcome::kChanged;
        } else if (rename(temp.c_str(), target.c_str()) != 0) {
            outcome = WriteOutcome::kNotWritten;
        }
        if (outcome != WriteOutcome::kWritten) unlink(temp.c_str());
    }
    if (outcome != WriteOutcome::kWritten) return outcome;
    // The rename itself reaches the disk with the directory.
    Descriptor dir{open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0) fsync(dir.fd);
    return WriteOutcome::kWritten;
}
