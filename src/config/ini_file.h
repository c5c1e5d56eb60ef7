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

// Whether a settings file can be read. A file that is there but cannot be read as settings
// (binary data, a UTF-16 byte-order mark in front of 8-bit text, no section at all, an error
// of the file system) gives the default of every key: the caller says so to the user.
enum class ProfileFileState { Missing, Readable, Unreadable };

struct ProfileFileCheck {
  ProfileFileState state = ProfileFileState::Missing;
  std::string reason;  // why the file is unreadable, e.g. "it holds binary data"
  bool unreadable() const { return state == ProfileFileState::Unreadable; }
};

ProfileFileCheck checkProfileFile(const std::string& path);
// The same test over the file's bytes.
ProfileFileCheck checkProfileBytes(std::string_view raw);

// Returns false when the file could not be written (the old file is then unchanged). Every
// byte other than the key's line is kept, also a UTF-16 file's stray last byte.
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
