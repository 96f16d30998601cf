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

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

HANDLE handle_of(const FileSnapshot& file) { return reinterpret_cast<HANDLE>(file.handle.native()); }

std::uint64_t joined(DWORD high, DWORD low) { return std::uint64_t{high} << 32 | low; }

// The file's identity, and with `details` its attributes and links too.
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

// The full path of the open file itself, a link or junction followed:
// ReplaceFileW takes full paths only, under Wine.
std::wstring final_path(HANDLE file) {
    const DWORD size = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED);
    if (size == 0) return {};
    std::wstring resolved(size, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file, resolved.data(), size, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= size) return {};
    resolved.resize(length);
    return resolved;
}

// The new bytes, complete and on disk, in a file of the target's folder.
bool write_temporary(const std::wstring& target, const TextSource& text, std::wstring& temp) {
    // CREATE_NEW makes the temporary name ours alone.
    const std::wstring directory = target.substr(0, target.find_last_of(L"\\/") + 1);
    Handle out{INVALID_HANDLE_VALUE};
    for (unsigned attempt = 0; attempt < 100 && out.h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = directory + L".crcstamp-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
        out.h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out.h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (out.h == INVALID_HANDLE_VALUE) return false;
    std::uint64_t at = 0;
    const auto append = [&out, &at](std::string_view bytes) {
        const bool appended = write_all(out.h, bytes, at);
        at += bytes.size();
        return appended;
    };
    const bool written = write_in_blocks(text, append) && FlushFileBuffers(out.h);
    CloseHandle(out.h);
    out.h = INVALID_HANDLE_VALUE;
    if (!written) DeleteFileW(temp.c_str());
    return written;
}

}  // namespace

void FileHandle::close() {
    if (native_ != kClosed) CloseHandle(reinterpret_cast<HANDLE>(native_));
    native_ = kClosed;
}

void prefault_for_writing(void*, std::size_t) {}

bool read_file_bytes(const std::string& path, FileAccess access, FileSnapshot& file) {
    if (path.size() > kMaxPathLength) return false;
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
    file.handle = FileHandle(reinterpret_cast<std::intptr_t>(in));
    BY_HANDLE_FILE_INFORMATION info;
    if (in == INVALID_HANDLE_VALUE || GetFileType(in) != FILE_TYPE_DISK || !identity_of(in, file.identity, &info))
        return false;
    // The read-only attribute holds for an administrator too.
    file.writable = file.writable && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    file.path = path;
    try {
        file.bytes.resize(static_cast<std::size_t>(file.identity.size));
    } catch (const std::exception&) {  // too large for memory: a file that cannot be read whole
        return false;
    }
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(file.bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(in, file.bytes.data() + done, chunk, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

WriteOutcome overwrite_in_place(FileSnapshot& file, const std::vector<std::size_t>& offsets, std::string_view text) {
    if (!file.writable) return WriteOutcome::kNotWritten;
    FileIdentity now;
    if (!identity_of(handle_of(file), now) || !(now == file.identity)) return WriteOutcome::kChanged;
    for (const std::size_t at : offsets) {
        if (!write_all(handle_of(file), text, at)) return WriteOutcome::kNotWritten;
    }
    return FlushFileBuffers(handle_of(file)) ? WriteOutcome::kWritten : WriteOutcome::kNotFlushed;
}

WriteOutcome replace_file_bytes(FileSnapshot& file, const TextSource& text) {
    FileIdentity now;
    BY_HANDLE_FILE_INFORMATION info;
    if (!file.writable || !identity_of(handle_of(file), now, &info) || info.nNumberOfLinks != 1)
        return WriteOutcome::kNotWritten;
    if (!(now == file.identity)) return WriteOutcome::kChanged;
    const std::wstring target = final_path(handle_of(file));
    if (target.empty()) return WriteOutcome::kNotWritten;
    const DWORD attributes = info.dwFileAttributes;

    std::wstring temp;
    if (!write_temporary(target, text, temp)) return WriteOutcome::kNotWritten;
    // The replacement needs the file unlocked; last look before it: a change made since the read wins.
    file.handle.close();
    const bool unchanged = [&] {
        const Handle query{CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
        return query.h != INVALID_HANDLE_VALUE && identity_of(query.h, now) && now == file.identity;
    }();
    if (!unchanged) {
        DeleteFileW(temp.c_str());
        return WriteOutcome::kChanged;
    }
    // ReplaceFileW keeps the file's creation time, security and streams. Where
    // it cannot be used the new file moves in, write-through, never by a copy
    // that could leave half a file behind.
    if (!ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) &&
        !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return WriteOutcome::kNotWritten;
    }
    // Not every implementation carries the attributes over (Wine does not).
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;
    SetFileAttributesW(target.c_str(), (attributes & kKept) != 0 ? attributes & kKept : FILE_ATTRIBUTE_NORMAL);
    return WriteOutcome::kWritten;
}
