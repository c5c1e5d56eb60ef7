#pragma once
// Recognising an HPGL plot file by its first bytes, for input that arrives without a name to go
// by (a network job sent as "application/octet-stream"). Only the start of the data is looked
// at; whether the file can be cut is for the reader to say.
#include <cstddef>
#include <string_view>

namespace qel::plot {

// True when `head` (the first bytes of a file, any length) begins like HP-GL or HP-GL/2: after
// byte-order marks, blanks and printer escape sequences, HP-GL mnemonics with their parameters.
// Text in UTF-16 (with or without a byte-order mark) is looked at through its ASCII bytes. A PCL
// switch into HP-GL/2 or an HP-GL device-control escape counts on its own. Empty input is not.
bool looksLikeHpgl(std::string_view head);

}  // namespace qel::plot
