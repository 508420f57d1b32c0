#include "cloud/envelope.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <random>

#include "platform/gbk.h"
#include "util/text.h"

namespace qv {
namespace {

std::string Base64NoPadding(std::string_view bytes) {
  std::string text = Base64Encode(bytes);
  text.erase(std::remove(text.begin(), text.end(), '='), text.end());
  return text;
}

int DrawEntryDigit() {
  static std::mutex mutex;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  return std::uniform_int_distribution<int>(2, 9)(generator);
}

}  // namespace

std::string UnixTimeText(const LocalTime& now) {
  const int64_t seconds = SecondsSinceEpoch(now) - 8 * 3600;
  std::string millis = std::to_string(1000 + std::clamp(now.millisecond, 0, 999)).substr(1);
  std::string text = (std::to_string(seconds) + millis).substr(0, 10);
  text.resize(10, '0');
  return text;
}

std::string ComposeEntryValue(std::string_view sid, int r, std::string_view timeText) {
  const std::string gbk = FromUtf8(sid);
  if (gbk.size() <= 3) return "";
  const std::string a = Base64NoPadding(gbk);
  const std::string_view sidText = a;
  const size_t cut = std::min(a.size(), static_cast<size_t>(std::max(r, 0)));
  std::string value = Base64NoPadding(std::to_string(r));
  value.reserve(value.size() + a.size() + (timeText.size() + 2) / 3 * 4);
  value.append(sidText.substr(0, cut))
      .append(Base64NoPadding(timeText))
      .append(sidText.substr(cut));
  return value;
}

std::string MakeEntryValue(std::string_view sid, const LocalTime& now) {
  return ComposeEntryValue(sid, DrawEntryDigit(), UnixTimeText(now));
}

HttpRequestInput CloudRequest(std::string_view server, std::string_view path,
                              const FieldList& headers, const FieldList& body) {
  HttpRequestInput in;
  in.Url.reserve(8 + server.size() + path.size());
  in.Url.append("https://").append(server).append(path);
  in.Method = 1;
  in.BodyText = body.ToFormBody();
  in.Headers = headers.ToHeaderBlock();
  return in;
}

}  // namespace qv
