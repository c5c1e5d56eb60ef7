#pragma once
// INI files with the profile semantics of the desktop world: section and key names compared
// without regard to case, an absent key reads as the caller's default, values are cut to the
// caller's buffer, and a write creates the file, the section and the key as needed.
//
// Every write rewrites the file atomically and keeps every other byte of it as it was
// (comments, unknown lines, even binary garbage), and the file's line-ending style.
// One process-wide lock serialises all reads and writes.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qel::config {

// The size of the read buffer of the profile calls: values longer than kProfileBuffer - 1
// characters are cut.
inline constexpr std::size_t kProfileBuffer = 260;

std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultText, std::size_t bufferSize = kProfileBuffer);

// The file's text as the profile reads see it (decoded when it is UTF-16); nothing when the
// file cannot be read. With profileValue below, one read of the file serves many keys.
std::optional<std::string> readProfileText(const std::string& path);
std::string profileValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view defaultText, std::size_t bufferSize = kProfileBuffer);

// Returns false when the file could not be written (the old file is then unchanged).
bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// Pure text operations behind the two calls above, exposed for tests.
namespace ini_text {
// The value of the key, or false when the section or key is missing.
bool find(std::string_view text, std::string_view section, std::string_view key, std::string& value);
// The text with the key set (added to the section, or the section added at the end).
std::string withValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value);
}  // namespace ini_text

}  // namespace qel::config
