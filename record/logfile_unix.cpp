// SPDX-License-Identifier: MIT
#include "record/logfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestran::record {

bool LogFile::open(const std::string& path, std::string& problem)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        problem = "it is not a regular file";
        return false;
    }
    const int file = ::open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (file < 0) {
        problem = std::strerror(errno);
        return false;
    }
    // Something else may have taken the name between the look and the open.
    if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = "it is not a regular file";
        ::close(file);
        return false;
    }
    m_handle = file;
    return true;
}

bool LogFile::append(std::string_view bytes, std::string& problem)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t wrote =
            ::write(static_cast<int>(m_handle), bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            problem = std::strerror(wrote < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

void LogFile::close()
{
    if (isOpen())
        ::close(static_cast<int>(m_handle));
    m_handle = closed;
}

} // namespace kestran::record
