#pragma once
// The administration password of the printer application: kept in its state folder as a salted
// SHA-256 hash, asked for by HTTP Basic authentication (over TLS from other computers).
#include <optional>
#include <string>

namespace qel::app::printer {

// Keeps `password` (an empty one removes it) in `stateDir`, readable by the owner only.
bool writeAdminPassword(const std::string& stateDir, const std::string& password, std::string* error);
// The kept hash, or nothing when no password is set.
std::optional<std::string> readAdminPassword(const std::string& stateDir);
// Whether `password` is the one `kept` was made from.
bool matchesAdminPassword(const std::string& kept, const std::string& password);

}  // namespace qel::app::printer
