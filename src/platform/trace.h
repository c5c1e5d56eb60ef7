#pragma once
// Progress lines for the operator's console, printed only while tracing is on (DebugStatus).
#include <string_view>

namespace qel::platform {

void setTraceEnabled(bool on);
bool traceEnabled();
void trace(std::string_view line);

}  // namespace qel::platform
