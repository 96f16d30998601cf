#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>  // renameat2
#include <new>

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

// Another process has asked to open the leased file for writing, and waits
// for the lease; a reader that waits would leave it a read lease.
bool writer_waiting(const FileSnapshot& file) { return file.leased && fcntl(fd_of(file), F_GETLEASE) == F_UNLCK; }

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

// The path of the open file itself, whatever name led to it.
std::string path_of(int fd) {
    std::string path(4096, '\0');
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(self.c_str(), path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size() || path[0] != '/') return {};
    path.resize(static_cast<std::size_t>(length));
    return path;
}

// The names of a file's extended attributes, each ended by a NUL; false when
// they cannot be listed. A file system without them has none.
bool attribute_names(int fd, std::string& names) {
    const ssize_t size = flistxattr(fd, nullptr, 0);
    if (size < 0) return names.clear(), errno == ENOTSUP;
    names.assign(static_cast<std::size_t>(size), '\0');
    const ssize_t listed = size == 0 ? 0 : flistxattr(fd, names.data(), names.size());
    if (listed < 0) return false;
    names.resize(static_cast<std::size_t>(listed));
    return true;
}

// `to` gets exactly the extended attributes of `from`, the ACL among them:
// what it got from its folder (a default ACL, say) goes first.
bool match_extended_attributes(int from, int to) {
    std::string names, inherited, value;
    if (!attribute_names(from, names) || !attribute_names(to, inherited)) return false;
    for (std::size_t at = 0; at < inherited.size(); at = inherited.find('\0', at) + 1) {
        if (fremovexattr(to, inherited.c_str() + at) != 0) return false;
    }
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
    return owner_kept && write_in_blocks(text, append) && match_extended_attributes(old_fd, fd) &&
           fchmod(fd, old.st_mode & 07777) == 0 && fsync(fd) == 0;
}

std::string temporary_name(unsigned attempt) {
    return ".crcstamp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
}

// A file of the folder `dir` with no name until it is complete, so that a
// kill while writing leaves nothing behind; where the file system has no such
// files, a named one that a kill can leave.
bool create_temporary(int dir, Descriptor& out, std::string& named) {
    out.fd = openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    for (unsigned attempt = 0; out.fd < 0 && attempt < 100; ++attempt) {
        named = temporary_name(attempt);
        out.fd = openat(dir, named.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out.fd < 0 && errno != EEXIST) return false;
    }
    return out.fd >= 0;
}

// Gives an unnamed file a name of its own in the folder `dir`.
bool link_unnamed(int fd, int dir, std::string& temp) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temp = temporary_name(attempt);
        if (linkat(AT_FDCWD, self.c_str(), dir, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

// The folder `dir` holds the file open as `fd` under `name`, itself and not a link to it.
bool holds(int dir, const std::string& name, int fd) {
    struct stat entry {
    }, held{};
    return fstatat(dir, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &held) == 0 &&
           same_file(entry, held);
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

// Puts the temporary file in the file's place, unless the file changed or a
// writer waits on its lease. The two trade places first, so that a writer that
// asked in the meantime finds the old file back under its name.
WriteOutcome put_in_place(FileSnapshot& file, int dir, const std::string& temp, const std::string& name, int fd) {
    if (!unchanged(file) || !holds(dir, name, fd_of(file)) || writer_waiting(file))
        return WriteOutcome::kChanged;
    if (renameat2(dir, temp.c_str(), dir, name.c_str(), RENAME_EXCHANGE) != 0) {
        // A file system that cannot exchange: a plain rename, after which nothing is undone.
        return errno == EINVAL && renameat(dir, temp.c_str(), dir, name.c_str()) == 0 ? WriteOutcome::kWritten
                                                                                     : WriteOutcome::kNotWritten;
    }
    if (writer_waiting(file) || !names(file.path, fd)) {
        renameat2(dir, temp.c_str(), dir, name.c_str(), RENAME_EXCHANGE);
        return WriteOutcome::kChanged;
    }
    return WriteOutcome::kWritten;
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
    if (file.writable) {
        // From here until the stamp is flushed, another opener waits (up to the
        // kernel's lease-break time). Its signal is only a notice: it must not
        // end the run. The kernel grants the lease to the file's owner or a
        // holder of CAP_LEASE, when nobody else has the file open.
        std::signal(SIGIO, SIG_IGN);
        file.leased = fcntl(fd, F_SETLEASE, F_WRLCK) == 0;
    }
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
    // Under a lease nobody has opened the file since the read; without one, this is the last look.
    if (!unchanged(file)) return WriteOutcome::kChanged;
    for (const std::size_t at : offsets) {
        if (!write_all(fd_of(file), text, static_cast<off_t>(at))) return WriteOutcome::kNotWritten;
    }
    if (fsync(fd_of(file)) != 0) return WriteOutcome::kNotFlushed;
    release_lease(file);
    // An editor that saved by rename meanwhile has the path: the file its user sees is not stamped.
    return names(file.path, fd_of(file)) ? WriteOutcome::kWritten : WriteOutcome::kChanged;
}

WriteOutcome replace_file_bytes(FileSnapshot& file, const TextSource& text) {
    if (!file.writable) return WriteOutcome::kNotWritten;
    if (!unchanged(file)) return WriteOutcome::kChanged;
    struct stat info {};
    const std::string target = path_of(fd_of(file));
    if (fstat(fd_of(file), &info) != 0 || info.st_nlink != 1 || target.empty()) return WriteOutcome::kNotWritten;

    // The folder is opened once, and every step after is made in it: a folder
    // swapped for a link meanwhile leads nowhere.
    const std::size_t slash = target.find_last_of('/');
    const std::string name = target.substr(slash + 1);
    const Descriptor dir{open(slash == 0 ? "/" : target.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0) return WriteOutcome::kNotWritten;
    if (!holds(dir.fd, name, fd_of(file))) return WriteOutcome::kChanged;
    Descriptor out{-1};
    std::string temp;
    if (!create_temporary(dir.fd, out, temp)) return WriteOutcome::kNotWritten;
    const bool unnamed = temp.empty();
    if (!fill(out.fd, fd_of(file), info, text)) {
        if (!unnamed) unlinkat(dir.fd, temp.c_str(), 0);
        return WriteOutcome::kNotWritten;
    }
    WriteOutcome outcome = WriteOutcome::kNotWritten;
    {
        const SignalsHeld held;
        if (unnamed && !link_unnamed(out.fd, dir.fd, temp)) return WriteOutcome::kNotWritten;
        outcome = put_in_place(file, dir.fd, temp, name, out.fd);
        // After an exchange the temporary name holds the old file.
        unlinkat(dir.fd, temp.c_str(), 0);
    }
    release_lease(file);
    if (outcome != WriteOutcome::kWritten) return outcome;
    // The rename itself reaches the disk with the folder.
    return fsync(dir.fd) == 0 ? WriteOutcome::kWritten : WriteOutcome::kNotFlushed;
}
