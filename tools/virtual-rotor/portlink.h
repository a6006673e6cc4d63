// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace kestavo::virtualrotor
{

// What a COM<n> entry in the port table is now.
enum class EntryState {
    Missing,
    DanglingLink, // a link whose target is gone: left by a controller that was killed
    LiveLink,     // a link to something that exists: in use, or configured by the user
    Other,        // a file, a directory or anything else the user put there
};

struct PortEntry {
    EntryState state = EntryState::Missing;
    std::string target; // where a link points
};

enum class LinkAction { Create, Replace, Refuse };

// Only a missing entry or a dangling link may be taken over.
[[nodiscard]] LinkAction decideLink(EntryState state);

// Looks at path without following it further than to see whether a link's
// target exists. nullopt, with the cause in error, when that cannot be told.
[[nodiscard]] std::optional<PortEntry> inspectEntry(const std::string& path, std::string& error);

// Why an entry is left alone and what the person can do instead.
[[nodiscard]] std::string refusalReason(const std::string& path, const PortEntry& entry, int port);

// Creates directory and its missing parents.
[[nodiscard]] bool makeDirectories(const std::string& directory, std::string& error);

// Makes path a link to target in one step: a link under a temporary name in
// the same directory is renamed over it, so no half-made entry is ever seen.
// Create fails if an entry has appeared meanwhile; Replace replaces it.
[[nodiscard]] bool placeLink(const std::string& path, const std::string& target, LinkAction action,
                             std::string& error);

// Removes path only while it still points at target: someone may have put
// another entry there since. Returns false, with the cause in error, when
// the removal itself failed.
[[nodiscard]] bool removeLinkIfOurs(const std::string& path, const std::string& target,
                                    std::string& error);

} // namespace kestavo::virtualrotor
