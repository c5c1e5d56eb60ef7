#pragma once
// The names files get on the coordinator. The download header carries at most 8 bytes of name
// and 4 of extension (dot included) in the machine's code page, and a file the coordinator
// receives replaces the one it holds under the same name. So a name is cut at a character
// boundary, and a name that had to be cut, or that another file holds, becomes a shorter prefix
// with "~1", "~2", ... (as old 8.3 file systems did). The names given out are remembered in the
// home folder, so that the same file always gets the same name and another file never does.
#include <cstddef>
#include <functional>
#include <string>

namespace qel::links {

inline constexpr std::size_t kMachineNameBytes = 8;
inline constexpr std::size_t kMachineExtensionBytes = 4;

// The machine's name (code page bytes, "JOB~1.PLT") for a file name (UTF-8, no folder).
// takenByOther(name) tells whether the machine holds another file under a name. The full name
// is kept when it fits and is free; otherwise prefix + "~n" with the smallest free n.
std::string machineName(const std::string& fileName, const std::function<bool(const std::string&)>& takenByOther);

// The register of names given to the machine: "MachineNames.txt" in the home folder, one
// "name<TAB>file name" line per file, the newest last; only the newest kMaxMachineNames are kept
// (the machine is taken to have let go of older files by then).
inline constexpr std::size_t kMaxMachineNames = 4000;

// The name for a file, given out and remembered. Safe from any thread of the process; when the
// register cannot be read or written the name is still unique within what it could read.
std::string registerMachineName(const std::string& homeDir, const std::string& fileName);

}  // namespace qel::links
