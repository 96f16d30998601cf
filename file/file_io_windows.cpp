#include <windows.h>

#include <algorithm>

#include "file/file_io.h"

namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int wide_size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wide_size);
    return wide;
}

HANDLE handle_of(const FileSnapshot& file) { return reinterpret_cast<HANDLE>(file.handle.native()); }

std::uint64_t joined(DWORD high, DWORD low) { return std::uint64_t{high} << 32 | low; }

// The file's identity, and with `details` its attributes too.
bool identity_of(HANDLE file, FileIdentity& identity, BY_HANDLE_FILE_INFORMATION* details = nullptr) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO times;
    if (!GetFileInformationByHandle(file, &info) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times))
        return false;
    identity = {info.dwVolumeSerialNumber, joined(info.nFileIndexHigh, info.nFileIndexLow),
                joined(info.nFileSizeHigh, info.nFileSizeLow),
                joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime),
                static_cast<std::uint64_t>(times.ChangeTime.QuadPart)};
    if (details != nullptr) *details = info;
    return true;
}

bool write_all(HANDLE file, std::string_view bytes, std::uint64_t at) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, &where) || written == 0) return false;
        bytes.remove_prefix(written);
        at += written;
    }
    return true;
}

}  // namespace

void FileHandle::close() {
    if (native_ != kClosed) CloseHandle(reinterpret_cast<HANDLE>(native_));
    native_ = kClosed;
}

void prefault_for_writing(void*, std::size_t) {}

ReadOutcome read_file_bytes(const std::string& path, FileAccess access, FileSnapshot& file) {
    if (path.size() > kMaxPathLength) return ReadOutcome::kNotFound;
    const std::wstring wide = widen(path);
    // While the tool holds the file to stamp it, others may read it but not change it.
    HANDLE in = access == FileAccess::kReadWrite
                    ? CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr)
                    : INVALID_HANDLE_VALUE;
    file.writable = in != INVALID_HANDLE_VALUE;
    if (!file.writable) {
        in = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    const DWORD error = GetLastError();
    file.handle = FileHandle(reinterpret_cast<std::intptr_t>(in));
    if (in == INVALID_HANDLE_VALUE) {
        if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY) return ReadOutcome::kNoMemory;
        return error == ERROR_TOO_MANY_OPEN_FILES ? ReadOutcome::kNoHandles : ReadOutcome::kNotFound;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(in) != FILE_TYPE_DISK || !identity_of(in, file.identity, &info)) return ReadOutcome::kNotFound;
    // The read-only attribute holds for an administrator too.
    file.writable = file.writable && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    file.path = path;
    file.bytes.resize(static_cast<std::size_t>(file.identity.size));  // std::bad_alloc where memory cannot hold it
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(file.bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(in, file.bytes.data() + done, chunk, &got, nullptr) || got == 0) return ReadOutcome::kNotFound;
        done += got;
    }
    return ReadOutcome::kRead;
}

// No other program can have written meanwhile: the handle lets others read only.
WriteOutcome write_in_place(FileSnapshot& file, const std::vector<std::size_t>& offsets, std::size_t length) {
    if (!file.writable) return WriteOutcome::kNotWritten;
    FileIdentity now;
    if (!identity_of(handle_of(file), now) || !(now == file.identity)) return WriteOutcome::kChanged;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (!write_all(handle_of(file), view_of(file.bytes).substr(offsets[i], length), offsets[i]))
            return i == 0 ? WriteOutcome::kNotWritten : WriteOutcome::kPartlyWritten;
    }
    return FlushFileBuffers(handle_of(file)) ? WriteOutcome::kWritten : WriteOutcome::kNotFlushed;
}
