#pragma once
// RFC 2045 base64 with the standard alphabet and "=" fill, without line breaks.
#include <string>
#include <string_view>

namespace zp {

std::string base64Encode(std::string_view bytes);
// Appends the encoding of bytes to out.
void base64Append(std::string& out, std::string_view bytes);

} // namespace zp
