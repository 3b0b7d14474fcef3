// SPDX-License-Identifier: MIT
#include "serial/portlock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace kestran::serial {

namespace {

std::string lockDirectory()
{
    return "/run/lock";
}

// The lock files a port may be held by: the UUCP convention names the last
// part of the path (LCK..ttyUSB0); Qt names the path below /dev with '_' for
// '/' (LCK..pts_3, LCK..serial_by-id_usb-…).
std::vector<std::string> lockFilesFor(const std::string& path)
{
    const auto slash = path.rfind('/');
    std::string qtStyle = path.compare(0, 5, "/dev/") == 0 ? path.substr(5) : path;
    std::replace(qtStyle.begin(), qtStyle.end(), '/', '_');
    std::vector<std::string> files = {lockDirectory() + "/LCK.." + path.substr(slash + 1)};
    if (qtStyle != path.substr(slash + 1))
        files.push_back(lockDirectory() + "/LCK.." + qtStyle);
    return files;
}

std::string commandOf(long pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool alive(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// The PID a lock file names: "%10d\n" (the UUCP convention), a plain "PID\n",
// or Qt's "PID\nprogram\nhost\n"; 0 when it names none.
long pidIn(const std::string& path)
{
    std::ifstream file(path);
    std::string first;
    if (!std::getline(file, first))
        return 0;
    char* end = nullptr;
    const long pid = std::strtol(first.c_str(), &end, 10);
    while (end && (*end == ' ' || *end == '\t' || *end == '\r'))
        ++end;
    return end && *end == '\0' && pid > 0 ? pid : 0;
}

// A process other than this one with the device open: the best guess at who
// holds an flock on it.
long processWithOpen(const std::string& device)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return 0;
    long found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        const long pid = std::strtol(entry->d_name, nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || found)
            continue;
        const std::string fds = std::string("/proc/") + entry->d_name + "/fd";
        DIR* open = ::opendir(fds.c_str());
        while (open && !found) {
            const dirent* fd = ::readdir(open);
            if (!fd)
                break;
            char target[PATH_MAX];
            const ssize_t length =
                ::readlink((fds + "/" + fd->d_name).c_str(), target, sizeof target);
            if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == device)
                found = pid;
        }
        if (open)
            ::closedir(open);
    }
    ::closedir(proc);
    return found;
}

} // namespace

std::string resolveDevice(const std::string& name)
{
    char resolved[PATH_MAX];
    return ::realpath(name.c_str(), resolved) ? std::string(resolved) : name;
}

std::optional<Holder> findHolder(const std::string& given, const std::string& device)
{
    for (const std::string& name : {given, device}) {
        for (const std::string& lockFile : lockFilesFor(name)) {
            if (::access(lockFile.c_str(), F_OK) != 0)
                continue;
            const long pid = pidIn(lockFile);
            if (pid == ::getpid() || (pid > 0 && !alive(pid) && ::unlink(lockFile.c_str()) == 0))
                continue; // ours, or stale: its owner is gone
            const bool live = pid > 0 && alive(pid);
            return Holder{live ? pid : 0, live ? commandOf(pid) : "", lockFile};
        }
    }
    const int descriptor = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return std::nullopt; // opening will tell why
    const bool free = ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    ::close(descriptor);
    if (free)
        return std::nullopt;
    const long pid = processWithOpen(device);
    return Holder{pid, pid > 0 ? commandOf(pid) : "", ""};
}

bool lockDescriptor(int descriptor)
{
    return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

} // namespace kestran::serial
