// What the cloud verifies in a request before it believes it: the time-stamped `entry`
// header, the form body and the printer list with its checksum.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv::sim {

struct EntryValue {
  bool ok = false;
  std::string error;     // why the value cannot be decoded, when !ok
  int insertAt = 0;      // r: the time was inserted after this many characters of the store ID
  std::string storeId;   // the decoded store ID bytes (GBK)
  std::string timeText;  // the 10-character time text
  int64_t seconds = 0;   // the time text as a number
};

// Decodes an `entry` header value: Base64 of r (2..9), the first r characters of the
// Base64 store ID, 14 characters of Base64 time, the rest of the store ID; no "=" anywhere.
EntryValue DecodeEntry(std::string_view entry);

// Builds an `entry` value the way the print service does (used by tests and by the sample
// requests of the simulator's own self-check).
std::string EncodeEntry(std::string_view storeIdGbk, int64_t seconds, int insertAt);

// The reference times an `entry` stamp is compared with. The service counts seconds from
// 1970-01-01 08:00 local time, so its stamp is the true Unix time only on a UTC+8 machine;
// on any other machine it is off by the difference of the local offset from +8 hours.
struct EntryClock {
  int64_t unixSeconds = 0;
  int64_t localOffsetSeconds = 0;  // local time minus UTC, at `unixSeconds`
};

// Empty when `seconds` lies within `windowSeconds` of either the Unix time or the service's
// local-time count; otherwise the reason.
std::string CheckEntryTime(int64_t seconds, const EntryClock& now, int64_t windowSeconds);

// A form body split at "&" and at the first "=" of each pair, without percent-decoding: the
// service sends its values as they stand (a Base64 value keeps its "+", "/" and "=").
std::vector<std::pair<std::string, std::string>> SplitFormBody(std::string_view body);

// The value of the first field of that name; `found` tells whether there was one.
std::string FormValue(const std::vector<std::pair<std::string, std::string>>& fields,
                      std::string_view name, bool* found = nullptr);

struct PrinterListCheck {
  bool ok = false;
  std::string error;
  std::string listText;  // the decoded printer list text (UTF-8)
  struct Printer {
    std::string name;
    std::string port;
  };
  std::vector<Printer> printers;  // when the list text is valid JSON
  bool listIsJson = false;
};

// Checks the printer list fields of a body: `plist` is padded standard Base64, `md5` is the
// lower-case MD5 of the decoded bytes, `times` is 10 digits; the list text should be a JSON
// array of {"n":...,"p":...} (a name with a quote makes it invalid JSON: noted, not refused).
PrinterListCheck CheckPrinterList(const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace qv::sim
