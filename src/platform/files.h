#pragma once
// File services: whole-file reads, atomic replacement, moves that survive crossing
// file systems, folder creation.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qel::platform {

bool fileExists(const std::string& path);       // a regular file (or link to one)
bool directoryExists(const std::string& path);

// Reads the whole file; nothing when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::string& path);
// Reads at most `maxBytes` from the start of a regular file (fewer when it is shorter); nothing
// when it is no regular file (a pipe is never waited on) or cannot be read.
std::optional<std::string> readFileHead(const std::string& path, std::size_t maxBytes);

// Replaces the file's content atomically: writes a temporary file beside it, syncs it and
// renames it over the target, so a crash leaves either the old or the new file, never a
// half-written one. The target's permission bits are kept. Returns false on failure, in
// which case the target is untouched.
bool writeFileAtomically(const std::string& path, std::string_view content);

// Creates the folder with its parents; true when it exists afterwards.
bool makeDirectories(const std::string& path);

// Moves a file, replacing an existing target; across file systems it copies, syncs the
// copy and then removes the source. The target's folder is created when missing.
bool moveFileReplacing(const std::string& from, const std::string& to);

// Writes every byte of the regular file `from` to the open descriptor; false on a read error,
// a short write or when `from` is not a regular file.
bool copyInto(const std::string& from, int fd);

// Copies a file byte for byte (replacing the target); false on any failure.
bool copyFile(const std::string& from, const std::string& to);

}  // namespace qel::platform
