#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "hex/file_io.h"

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

FileIdentity identity_of(const struct stat& info) {
    const auto modified = static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000u +
                          static_cast<std::uint64_t>(info.st_mtim.tv_nsec);
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size), modified};
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string directory_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The new file gets the old one's owner and mode, then the bytes, on disk.
bool fill(int fd, const struct stat& old, std::string_view bytes) {
    // Only root can give a file away: for anyone else a refusal just leaves the new file theirs.
    const bool owner_kept = fchown(fd, old.st_uid, old.st_gid) == 0 || geteuid() != 0;
    return owner_kept && fchmod(fd, old.st_mode & 07777) == 0 && write_all(fd, bytes) && fsync(fd) == 0;
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

// The new bytes, complete and on disk, in a file named `temp` in `directory`.
// Where the file system allows, the file has no name until then, so that a
// kill while writing leaves nothing behind; elsewhere it is named from the
// start, and a kill leaves it there.
bool write_temporary(const std::string& directory, const struct stat& old, std::string_view bytes, std::string& temp) {
#ifdef O_TMPFILE
    Descriptor unnamed{open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)};
    if (unnamed.fd >= 0) {
        if (!fill(unnamed.fd, old, bytes)) return false;
        if (link_unnamed(unnamed.fd, directory, temp)) return true;
    }
#endif
    temp = directory + "/.crcstamp-XXXXXX";
    Descriptor named{mkostemp(temp.data(), O_CLOEXEC)};
    if (named.fd < 0) return false;
    bool written = fill(named.fd, old, bytes);
    written = close(named.fd) == 0 && written;
    named.fd = -1;
    if (!written) unlink(temp.c_str());
    return written;
}

}  // namespace

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

bool read_file_bytes(const std::string& path, FileSnapshot& file) {
    Descriptor in{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat info {};
    if (in.fd < 0 || fstat(in.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    file.identity = identity_of(info);
    file.bytes.resize(static_cast<std::size_t>(info.st_size));
    prefault_for_writing(file.bytes.data(), file.bytes.size());
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        const ssize_t got = read(in.fd, file.bytes.data() + done, file.bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

ReplaceOutcome replace_file_bytes(const std::string& path, std::string_view bytes, const FileIdentity& read_as) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return ReplaceOutcome::kNotWritten;
    const std::string target = resolved;
    std::free(resolved);

    struct stat info {};
    if (stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return ReplaceOutcome::kNotWritten;
    // No write bit means read-only, also for root, whom access() never refuses.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(target.c_str(), W_OK) != 0)
        return ReplaceOutcome::kNotWritten;

    const std::string directory = directory_of(target);
    std::string temp;
    if (!write_temporary(directory, info, bytes, temp)) return ReplaceOutcome::kNotWritten;
    // Last look before the rename: a change made since the read wins.
    struct stat now {};
    if (stat(target.c_str(), &now) != 0 || !(identity_of(now) == read_as)) {
        unlink(temp.c_str());
        return ReplaceOutcome::kChanged;
    }
    if (rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return ReplaceOutcome::kNotWritten;
    }
    // The rename itself reaches the disk with the directory.
    Descriptor dir{open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0) fsync(dir.fd);
    return ReplaceOutcome::kReplaced;
}
