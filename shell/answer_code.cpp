#include "shell/answer_code.h"

#include <nlohmann/json.hpp>

#include "util/text.h"

namespace qv::shell {

bool ReadAnswerCode(const std::string& answer, int& code) {
  code = 0;
  // The answer is read leniently: an invalid UTF-8 byte must not turn a code 200 into a
  // parse failure.
  const nlohmann::json doc = nlohmann::json::parse(SanitizeUtf8(answer), nullptr, false);
  if (doc.is_discarded()) return false;
  if (!doc.is_object()) return true;
  const auto it = doc.find("code");
  if (it == doc.end()) return true;
  if (it->is_number()) {
    code = TextToInt(it->dump());
  } else if (it->is_string()) {
    code = TextToInt(it->get<std::string>());
  }
  return true;
}

}  // namespace qv::shell
