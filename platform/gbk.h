// GBK (code page 936) text at the edges of the program: config.ini, run-log files, the
// printer-list export, the bytes sent to printers, and the rules that count or encode the
// GBK bytes of a text. Inside the program every text is UTF-8; these two conversions are the
// only way in and out of GBK, built on the system's codec (platform/text_codec.h). Any thread
// may call both, also at the same time.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// GBK bytes -> UTF-8. Invalid sequences become U+FFFD; never fails. Stops at a zero byte.
std::string ToUtf8(std::string_view gbk);

// UTF-8 -> GBK bytes. Characters without a GBK form, and invalid UTF-8, become "?".
// Stops at a zero byte.
std::string FromUtf8(std::string_view utf8);

}  // namespace qv
