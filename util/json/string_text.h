// JSON string text for code that writes a small JSON text by hand rather than through a
// document (the printer list report), escaped by the same writer as every document's text.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// `text` as a JSON string, quotes included: '"', '\' and characters below U+0020 escaped,
// everything else as it is, each ill-formed UTF-8 sequence written as U+FFFD.
std::string JsonQuoted(std::string_view text);

}  // namespace qv
