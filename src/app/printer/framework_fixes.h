#pragma once
// The settings of the printing framework's corrections (framework_fixes.cpp, part of the
// program qelcut-printer-app).
#include <cstdint>

namespace qel::app::printer {

// A request body (a job's document) that grows beyond `bytes` ends the request as a broken
// upload; negative: no limit.
void limitDocuments(std::int64_t bytes);

}  // namespace qel::app::printer
