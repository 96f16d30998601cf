#include <windows.h>

#include <algorithm>

#include "hex/file_io.h"

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

Handle open_for_query(const std::wstring& path) {
    return {CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)};
}

std::uint64_t joined(DWORD high, DWORD low) { return std::uint64_t{high} << 32 | low; }

bool identity_of(HANDLE file, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    identity = {info.dwVolumeSerialNumber, joined(info.nFileIndexHigh, info.nFileIndexLow),
                joined(info.nFileSizeHigh, info.nFileSizeLow),
                joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)};
    return true;
}

bool write_all(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// The full path of the file itself, a link or junction followed: ReplaceFileW
// takes full paths only, under Wine.
std::wstring final_path(const std::wstring& path) {
    const Handle file = open_for_query(path);
    if (file.h == INVALID_HANDLE_VALUE) return {};
    const DWORD size = GetFinalPathNameByHandleW(file.h, nullptr, 0, FILE_NAME_NORMALIZED);
    if (size == 0) return {};
    std::wstring resolved(size, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file.h, resolved.data(), size, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= size) return {};
    resolved.resize(length);
    return resolved;
}

// The new bytes, complete and on disk, in a file of the target's folder.
bool write_temporary(const std::wstring& target, std::string_view bytes, std::wstring& temp) {
    // CREATE_NEW makes the temporary name ours alone.
    const std::wstring directory = target.substr(0, target.find_last_of(L"\\/") + 1);
    Handle out{INVALID_HANDLE_VALUE};
    for (unsigned attempt = 0; attempt < 100 && out.h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = directory + L".crcstamp-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
        out.h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out.h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (out.h == INVALID_HANDLE_VALUE) return false;
    const bool written = write_all(out.h, bytes) && FlushFileBuffers(out.h);
    CloseHandle(out.h);
    out.h = INVALID_HANDLE_VALUE;
    if (!written) DeleteFileW(temp.c_str());
    return written;
}

}  // namespace

void prefault_for_writing(void*, std::size_t) {}

bool read_file_bytes(const std::string& path, FileSnapshot& file) {
    Handle in{CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (in.h == INVALID_HANDLE_VALUE || GetFileType(in.h) != FILE_TYPE_DISK || !identity_of(in.h, file.identity))
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(in.h, &size) || size.QuadPart < 0) return false;
    file.bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(file.bytes.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(in.h, file.bytes.data() + done, chunk, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

ReplaceOutcome replace_file_bytes(const std::string& path, std::string_view bytes, const FileIdentity& read_as) {
    const std::wstring target = final_path(widen(path));
    if (target.empty()) return ReplaceOutcome::kNotWritten;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return ReplaceOutcome::kNotWritten;

    std::wstring temp;
    if (!write_temporary(target, bytes, temp)) return ReplaceOutcome::kNotWritten;
    // Last look before the replacement: a change made since the read wins.
    FileIdentity now;
    const bool unchanged = [&] {
        const Handle file = open_for_query(target);
        return file.h != INVALID_HANDLE_VALUE && identity_of(file.h, now) && now == read_as;
    }();
    if (!unchanged) {
        DeleteFileW(temp.c_str());
        return ReplaceOutcome::kChanged;
    }
    // ReplaceFileW keeps the file's creation time, security and streams. Where
    // it cannot be used the new file moves in, write-through, never by a copy
    // that could leave half a file behind.
    if (!ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) &&
        !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        return ReplaceOutcome::kNotWritten;
    }
    // Not every implementation carries the attributes over (Wine does not).
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;
    SetFileAttributesW(target.c_str(), (attributes & kKept) != 0 ? attributes & kKept : FILE_ATTRIBUTE_NORMAL);
    return ReplaceOutcome::kReplaced;
}
