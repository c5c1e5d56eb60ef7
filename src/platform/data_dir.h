#pragma once
// Where a program finds the data installed beside it (the label font, the translations): in
// <prefix>/share/qelcut of whatever prefix it was installed under, in the build tree while it
// runs from there, and last in the folder the build was configured for.
#include <string>
#include <vector>

namespace qel::platform {

// The folders to look in, in that order, without duplicates; none of them need exist.
std::vector<std::string> dataDirs();

// The first "<folder>/<name>" of dataDirs() that is a file; empty when there is none.
std::string findDataFile(const std::string& name);

}  // namespace qel::platform
