// Charset conversions of the operating system (iconv on Linux, the Win32 conversion calls on
// Windows). Portable code reaches GBK through platform/gbk.h, which builds on this. Any thread
// may call both, also at the same time: no call keeps state for the next (iconv opens a
// converter per call).
#pragma once

#include <string>
#include <string_view>

namespace qv::platform {

// Encodes UTF-8 into the named charset ("GBK", "UTF-8", "big5", ...). Characters the charset
// cannot hold, and invalid UTF-8, become "?". False when the charset is unknown.
bool EncodeCharset(std::string_view utf8, std::string_view charset, std::string& out);

// Decodes bytes in the named charset into UTF-8; invalid sequences become U+FFFD.
// False when the charset is unknown.
bool DecodeCharset(std::string_view bytes, std::string_view charset, std::string& utf8);

}  // namespace qv::platform
