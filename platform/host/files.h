// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Files on the host: what is at a path, reading and syncing without
// surprises, links, and where the per-user port table lives.
namespace kestavo::platform::host
{

enum class FileKind {
    Missing,
    Regular, // a regular file, or a link to one
    Directory,
    Special,    // FIFO, socket or device
    BrokenLink, // a link whose target does not exist
};

// What is at path, following links.
[[nodiscard]] FileKind fileKind(const QString& path);

// Reads at most limit bytes from the start of a regular file without ever
// blocking, even if the file has been swapped for a FIFO meanwhile. On
// failure returns nullopt and puts the cause, in words, in reason.
// ownerOnly: a file that is not ours, or that others may read or write, is
// refused too, as a secret in it is no longer one.
[[nodiscard]] std::optional<QByteArray> readFileHead(const QString& path, qsizetype limit,
                                                     QString& reason, bool ownerOnly = false);

// Makes the data written through handle reach the storage device, so that a
// full or failing disk shows here rather than after the file is in place. On
// failure returns false and puts the cause, in words, in reason.
[[nodiscard]] bool syncToDevice(qintptr handle, QString& reason);

// Kestavo's per-user folder: $XDG_CONFIG_HOME/kestavo, or ~/.config/kestavo.
[[nodiscard]] QString configDirectory();

// The per-user port table: $XDG_CONFIG_HOME/kestavo/ports, or
// ~/.config/kestavo/ports when XDG_CONFIG_HOME is unset.
[[nodiscard]] QString portTableDirectory();

// What a link holds, as bytes, without following it. On failure returns
// nullopt and puts the cause, in words, in reason.
[[nodiscard]] std::optional<QByteArray> readLinkText(const QString& path, QString& reason);

// The longest path the host takes, in bytes.
[[nodiscard]] qsizetype pathLimit();

} // namespace kestavo::platform::host
