// SPDX-License-Identifier: GPL-3.0-or-later
#include "portlink.h"

#include "support/posix.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestavo::virtualrotor
{
namespace
{

[[nodiscard]] std::optional<std::string> readLinkTarget(const std::string& path, int& error)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            error = errno;
            return std::nullopt;
        }
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

LinkAction decideLink(EntryState state)
{
    switch (state) {
    case EntryState::Missing:
        return LinkAction::Create;
    case EntryState::DanglingLink:
        return LinkAction::Replace;
    case EntryState::LiveLink:
    case EntryState::Other:
        return LinkAction::Refuse;
    }
    return LinkAction::Refuse;
}

std::optional<PortEntry> inspectEntry(const std::string& path, std::string& error)
{
    struct stat info {
    };
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return PortEntry{EntryState::Missing, {}};
        error = "cannot look at " + path + ": " + support::errnoText(errno);
        return std::nullopt;
    }
    if (!S_ISLNK(info.st_mode))
        return PortEntry{EntryState::Other, {}};
    int readError = 0;
    const std::optional<std::string> target = readLinkTarget(path, readError);
    if (!target) {
        error = "cannot read the link " + path + ": " + support::errnoText(readError);
        return std::nullopt;
    }
    if (::stat(path.c_str(), &info) == 0)
        return PortEntry{EntryState::LiveLink, *target};
    if (errno == ENOENT || errno == ENOTDIR)
        return PortEntry{EntryState::DanglingLink, *target};
    // Cannot tell whether the target is there (a loop, no permission): treat
    // it as live rather than take over someone's entry.
    return PortEntry{EntryState::LiveLink, *target};
}

std::string refusalReason(const std::string& path, const PortEntry& entry, int port)
{
    const std::string advice = "Start with --port and another number, and type that number "
                               "at Kestavo's prompt; or remove " +
                               path + " if you know nothing uses it.";
    if (entry.state == EntryState::LiveLink)
        return path + " already points at " + entry.target +
               ", which exists: another controller or a device you set up is port " +
               std::to_string(port) + ". " + advice;
    return path + " is already there and is not a link: you set up port " + std::to_string(port) +
           " yourself. " + advice;
}

bool makeDirectories(const std::string& directory, std::string& error)
{
    for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        const std::string part = directory.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create the directory " + part + ": " + support::errnoText(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    struct stat info {
    };
    if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = directory + " is not a directory";
        return false;
    }
    return true;
}

bool placeLink(const std::string& path, const std::string& target, LinkAction action,
               std::string& error)
{
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string temporary =
        directory + "/." + name + ".new." + std::to_string(static_cast<long>(::getpid()));
    // A stale one can only be from an earlier process that had our number.
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
        error =
            "cannot remove the old temporary link " + temporary + ": " + support::errnoText(errno);
        return false;
    }
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        error = "cannot create the link " + temporary + ": " + support::errnoText(errno);
        return false;
    }
    const int moved =
        action == LinkAction::Create
            ? ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE)
            : ::rename(temporary.c_str(), path.c_str());
    if (moved != 0) {
        const int cause = errno;
        error = "cannot put the link in place as " + path + ": " + support::errnoText(cause);
        if (cause == EEXIST)
            error += " (another program created it meanwhile; try again or use another --port)";
        if (::unlink(temporary.c_str()) != 0)
            error += "; also cannot remove " + temporary + ": " + support::errnoText(errno);
        return false;
    }
    return true;
}

bool removeLinkIfOurs(const std::string& path, const std::string& target, std::string& error)
{
    int readError = 0;
    const std::optional<std::string> now = readLinkTarget(path, readError);
    if (!now || *now != target)
        return true;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        error = "cannot remove the link " + path + ": " + support::errnoText(errno);
        return false;
    }
    return true;
}

} // namespace kestavo::virtualrotor
