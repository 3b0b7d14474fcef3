// SPDX-License-Identifier: MIT
#include "serial/portlock_unix.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kestran::serial {

namespace {

constexpr const char* lockDirectory = "/run/lock";
// "%10d\n" and Qt's "PID\nprogram\nhost\n" both fit; more is not a lock file
// of any program, and must not cost memory or time to refuse.
constexpr std::size_t lockFileBytes = 128;

std::string uucpName(const std::string& path)
{
    return std::string(lockDirectory) + "/LCK.." + path.substr(path.rfind('/') + 1);
}

// The PID on the first line: optional leading blanks, then only digits that
// make a positive pid_t, then optional blanks up to the line's end.
pid_t strictPid(std::string_view text)
{
    const std::string_view line = text.substr(0, text.find('\n'));
    const std::size_t digits = line.find_first_not_of(' ');
    if (digits == std::string_view::npos || line[digits] < '0' || line[digits] > '9')
        return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(line.data() + digits, line.data() + line.size(), pid);
    const std::string_view after(end, static_cast<std::size_t>(line.data() + line.size() - end));
    const bool blanksAfter = after.find_first_not_of(" \t\r") == std::string_view::npos;
    return error == std::errc() && blanksAfter && pid > 0 ? pid : 0;
}

std::string ownerOf(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return {};
    const passwd* user = ::getpwuid(info.st_uid);
    return user ? user->pw_name : std::to_string(info.st_uid);
}

// What a lock file says: the PID it names, or 0 when it names none.
struct LockFileContent {
    enum class State { absent, regular, unreadable, notAFile } state = State::absent;
    pid_t pid = 0;
};

LockFileContent readLockFile(const std::string& path)
{
    using State = LockFileContent::State;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return {errno == ENOENT ? State::absent : State::unreadable, 0};
    if (!S_ISREG(info.st_mode))
        return {State::notAFile, 0};
    // Not following a link, and not waiting should a FIFO take its place now.
    const int file =
        ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (file < 0)
        return {errno == ENOENT  ? State::absent
                : errno == ELOOP ? State::notAFile
                                 : State::unreadable,
                0};
    char text[lockFileBytes];
    ssize_t size = -1;
    if (::fstat(file, &info) == 0 && S_ISREG(info.st_mode))
        size = ::read(file, text, sizeof text);
    ::close(file);
    if (size < 0)
        return {State::notAFile, 0};
    return {State::regular, strictPid(std::string_view(text, static_cast<std::size_t>(size)))};
}

// The lock files that name a port: the UUCP convention names the last part
// of the path (LCK..ttyUSB0); Qt names the path below /dev with '_' for '/'
// (LCK..pts_3, LCK..serial_by-id_usb-…).
std::vector<std::string> lockFilesFor(const std::string& path)
{
    std::string qtStyle = path.compare(0, 5, "/dev/") == 0 ? path.substr(5) : path;
    std::replace(qtStyle.begin(), qtStyle.end(), '/', '_');
    std::vector<std::string> files = {uucpName(path)};
    if (qtStyle != path.substr(path.rfind('/') + 1))
        files.push_back(std::string(lockDirectory) + "/LCK.." + qtStyle);
    return files;
}

bool processAlive(pid_t pid)
{
    // Another user's process answers EPERM, and is alive all the same.
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

std::string commandOf(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

Holder process(pid_t pid)
{
    Holder holder;
    holder.pid = pid;
    holder.program = pid > 0 ? commandOf(pid) : std::string();
    return holder;
}

// Who holds the port by a lock file, if anyone.
bool lockFileHolder(const std::vector<std::string>& names, Holder& holder)
{
    using State = LockFileContent::State;
    for (const std::string& name : names) {
        for (const std::string& lockFile : lockFilesFor(name)) {
            const LockFileContent content = readLockFile(lockFile);
            if (content.state == State::absent || content.pid == ::getpid())
                continue;
            if (content.state == State::regular && content.pid > 0 && !processAlive(content.pid) &&
                ::unlink(lockFile.c_str()) == 0)
                continue; // stale: its owner is gone
            holder = Holder{};
            holder.lockFile = lockFile;
            holder.owner = ownerOf(lockFile);
            if (content.state == State::unreadable) {
                holder.kind = Holder::Kind::unreadable;
            } else if (content.state == State::notAFile) {
                holder.kind = Holder::Kind::notAFile;
            } else if (processAlive(content.pid)) {
                holder.pid = content.pid;
                holder.program = commandOf(content.pid);
            } else {
                holder.kind = Holder::Kind::noProcess;
            }
            return true;
        }
    }
    return false;
}

// /proc/locks names each lock's file by the device and inode of its
// filesystem: "1: FLOCK  ADVISORY  WRITE 1234 00:05:88 0 EOF".
pid_t pidInProcLocks(const std::string& device)
{
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0)
        return 0;
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long>(node.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        char kind[16] = {}, file[64] = {};
        int pid = 0;
        if (line.find("->") == std::string::npos &&
            std::sscanf(line.c_str(), "%*d: %15s %*s %*s %d %63s", kind, &pid, file) == 3 &&
            std::strcmp(kind, "FLOCK") == 0 && wanted == std::string(file) && pid != ::getpid())
            return pid;
    }
    return 0;
}

// A process other than this one with the device open, among those whose
// descriptors this user may see.
pid_t processWithOpen(const std::string& device)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return 0;
    pid_t found = 0;
    while (const dirent* entry = found ? nullptr : ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0 || pid == ::getpid())
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

bool heldByAnother(const std::vector<std::string>& names, const std::string& device, Holder& holder)
{
    if (lockFileHolder(names, holder))
        return true;
    holder = process(pidInProcLocks(device));
    return holder.pid > 0;
}

Holder holderOf(const std::string& device)
{
    const pid_t flocked = pidInProcLocks(device);
    return process(flocked > 0 ? flocked : processWithOpen(device));
}

bool lockDescriptor(int descriptor)
{
    return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
}

OwnLocks::Result OwnLocks::take(const std::vector<std::string>& paths, Holder& holder,
                                std::string& problem)
{
    release();
    const auto create = [](const std::string& file) {
        return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    };
    for (const std::string& path : paths) {
        const std::string file = uucpName(path);
        if (std::find(m_files.begin(), m_files.end(), file) != m_files.end())
            continue;
        int fd = create(file);
        if (fd < 0 && errno == EEXIST) {
            // Another port of this program, or a live program, holds it; a
            // stale file is removed on the way, and then it is ours to make.
            if (readLockFile(file).pid == ::getpid()) {
                holder = process(::getpid());
                holder.lockFile = file;
                release();
                return Result::held;
            }
            if (lockFileHolder({path}, holder)) {
                release();
                return Result::held;
            }
            fd = create(file);
            if (fd < 0 && errno == EEXIST && lockFileHolder({path}, holder)) {
                release(); // another program made it between our look and our make
                return Result::held;
            }
        }
        char content[16];
        const int length =
            std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
        const bool whole =
            fd >= 0 && ::fchmod(fd, 0644) == 0 && ::write(fd, content, length) == length;
        if (fd >= 0)
            ::close(fd);
        if (!whole) {
            problem =
                std::string(lockDirectory) + " takes no lock file (" + std::strerror(errno) + ")";
            if (fd >= 0)
                ::unlink(file.c_str());
            release();
            return Result::directoryUnwritable;
        }
        m_files.push_back(file);
    }
    return Result::taken;
}

void OwnLocks::release()
{
    for (const std::string& file : m_files) {
        const LockFileContent content = readLockFile(file);
        if (content.state == LockFileContent::State::regular && content.pid == ::getpid())
            ::unlink(file.c_str());
    }
    m_files.clear();
}

} // namespace kestran::serial
