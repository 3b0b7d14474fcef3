// SPDX-License-Identifier: MIT
#include "record/logfile.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace kestran::record {

namespace {

std::wstring wide(const std::string& utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                           static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        text.data(), length);
    return text;
}

std::string describe(DWORD error)
{
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<char*>(&text), 0, nullptr);
    std::string said = length ? std::string(text, length) : "error " + std::to_string(error);
    LocalFree(text);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == '.'))
        said.pop_back();
    return said;
}

} // namespace

bool LogFile::open(const std::string& path, std::string& problem)
{
    const std::wstring name = wide(path);
    if (name.empty() && !path.empty()) {
        problem = "its name is not valid UTF-8";
        return false;
    }
    // A device's name (COM1, NUL, CON, in any folder) stands for the device
    // itself, and opening a port would raise its DTR: refused before it is
    // opened, by the name Windows resolves it to.
    wchar_t full[MAX_PATH * 4];
    const DWORD resolved = GetFullPathNameW(name.c_str(), MAX_PATH * 4, full, nullptr);
    if (resolved > 0 && resolved < MAX_PATH * 4 &&
        std::wstring_view(full).rfind(L"\\\\.\\", 0) == 0) {
        problem = "it is not a regular file";
        return false;
    }
    // Appending only, so that every write lands at the end whoever else has
    // the file open; others may read it, and rename or delete it, meanwhile.
    HANDLE file = CreateFileW(name.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = describe(GetLastError());
        return false;
    }
    // Whatever else is not a file on a disk (a pipe) is no log either.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        problem = "it is not a regular file";
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return true;
}

bool LogFile::append(std::string_view bytes, std::string& problem)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD wanted =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
        DWORD wrote = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(m_handle), bytes.data() + done, wanted, &wrote,
                       nullptr)) {
            problem = describe(GetLastError());
            return false;
        }
        if (wrote == 0) {
            problem = describe(ERROR_DISK_FULL);
            return false;
        }
        done += wrote;
    }
    return true;
}

void LogFile::close()
{
    if (isOpen())
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = closed;
}

} // namespace kestran::record
