// One WMI query in the namespace root\CIMV2 that yields a single value.
#pragma once

#include <string>

namespace qv::platform::win32 {

// The text of `property` in the last row `query` (WQL) returns; empty when there is no row,
// the value is not a text (null included) or WMI cannot be reached.
std::string WmiQueryValue(const wchar_t* query, const wchar_t* property);

}  // namespace qv::platform::win32
