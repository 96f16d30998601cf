#include "hex/file_io.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#endif

#ifdef _WIN32

namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int wide_size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wide_size);
    return wide;
}

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

bool write_all(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// A link or junction is followed to the file it names.
std::wstring final_path(const std::wstring& path) {
    Handle file{CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) return {};
    const DWORD size = GetFinalPathNameByHandleW(file.h, nullptr, 0, FILE_NAME_NORMALIZED);
    if (size == 0) return {};
    std::wstring resolved(size, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file.h, resolved.data(), size, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= size) return {};
    resolved.resize(length);
    return resolved;
}

}  // namespace

void prefault_for_writing(void*, std::size_t) {}

bool read_file_bytes(const std::string& path, FileBytes& bytes) {
    Handle file{CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE || GetFileType(file.h) != FILE_TYPE_DISK) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.h, &size) || size.QuadPart < 0) return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file.h, bytes.data() + done, chunk, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

bool replace_file_bytes(const std::string& path, std::string_view bytes) {
    const std::wstring target = final_path(widen(path));
    if (target.empty()) return false;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return false;

    // CREATE_NEW makes the temporary name ours alone.
    const std::wstring directory = target.substr(0, target.find_last_of(L"\\/") + 1);
    std::wstring temp;
    Handle out{INVALID_HANDLE_VALUE};
    for (unsigned attempt = 0; attempt < 100 && out.h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = directory + L".crcstamp-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
        out.h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out.h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (out.h == INVALID_HANDLE_VALUE) return false;
    const bool written = write_all(out.h, bytes) && FlushFileBuffers(out.h);
    CloseHandle(out.h);
    out.h = INVALID_HANDLE_VALUE;
    // Write-through, and never a copy that could leave half a file behind.
    if (!written || !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

#else

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

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

bool read_file_bytes(const std::string& path, FileBytes& bytes) {
    Descriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat info {};
    if (file.fd < 0 || fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    bytes.resize(static_cast<std::size_t>(info.st_size));
    prefault_for_writing(bytes.data(), bytes.size());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(file.fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool replace_file_bytes(const std::string& path, std::string_view bytes) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return false;
    const std::string target = resolved;
    std::free(resolved);

    struct stat info {};
    if (stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    // No write bit means read-only, also for root, whom access() never refuses.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(target.c_str(), W_OK) != 0) return false;

    const std::string directory = directory_of(target);
    std::string temp = directory + "/.crcstamp-XXXXXX";
    Descriptor out{mkostemp(temp.data(), O_CLOEXEC)};
    if (out.fd < 0) return false;
    // Keep owner and group. Only root can give a file away: for anyone else a
    // refusal just leaves the new file theirs.
    const bool owner_kept = fchown(out.fd, info.st_uid, info.st_gid) == 0 || geteuid() != 0;
    bool written =
        owner_kept && fchmod(out.fd, info.st_mode & 07777) == 0 && write_all(out.fd, bytes) && fsync(out.fd) == 0;
    written = close(out.fd) == 0 && written;
    out.fd = -1;
    if (!written || rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    // The rename itself reaches the disk with the directory.
    Descriptor dir{open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd >= 0) fsync(dir.fd);
    return true;
}

#endif
