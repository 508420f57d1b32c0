// The envelope every cloud API request shares: the time-stamped entry value derived from the
// store ID, the header sets of the three endpoints and the request handed to HttpRequest.
#pragma once

#include <string>
#include <string_view>

#include "cloud/field_list.h"
#include "cloud/http_client.h"
#include "util/local_time.h"

namespace qv {

// User-Agent the cloud expects from the service.
inline constexpr const char* kCloudUserAgent =
    "Mozilla/5.0 (Linux; U; Android 8.1.0; zh-cn; Redmi 6 Pro Build/OPM1.171019.019) "
    "AppleWebKit/537.36 (KHTML, like Gecko) Version/4.0 Chrome/61.0.3163.128 Mobile "
    "Safari/537.36 XiaoMi/MiuiBrowser/9.8.7";

inline constexpr const char* kWaitPath = "/api/v2/common/local/print/wait";
inline constexpr const char* kReportPath = "/api/v2/common/local/print/report";
inline constexpr const char* kPrinterListPath = "/api/v2/common/local/print/chk";

// Seconds from the local date-time 1970-01-01 08:00:00 to `now`, with the milliseconds
// appended, cut or filled with "0" on the right to exactly 10 characters. The cloud checks
// the stamp against its own UTC+8 clock, so the epoch deliberately carries that offset.
std::string UnixTimeText(const LocalTime& now);

// The entry value for `sid` (UTF-8; its GBK bytes are encoded) with the drawn digit r
// (2..9) and the time text: Base64(r), the first r characters of Base64(sid), Base64(time),
// the rest of Base64(sid); every "=" removed. Empty when the GBK form of sid has 3 bytes or
// fewer.
std::string ComposeEntryValue(std::string_view sid, int r, std::string_view timeText);

// ComposeEntryValue with r drawn evenly from 2..9 by the process-wide generator.
std::string MakeEntryValue(std::string_view sid, const LocalTime& now);

// The HttpRequest inputs of one cloud request: POST to "https://" + server + path, the header
// fields and the form body rendered, everything else at its default.
HttpRequestInput CloudRequest(std::string_view server, std::string_view path,
                              const FieldList& headers, const FieldList& body);

}  // namespace qv
