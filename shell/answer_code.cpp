#include "shell/answer_code.h"

#include "util/json_document.h"
#include "util/text.h"

namespace qv::shell {

bool ReadAnswerCode(const std::string& answer, int& code) {
  code = 0;
  // Read leniently: a stray invalid byte elsewhere must not turn a code 200 into a failure.
  JsonDocument doc;
  if (!doc.Parse(SanitizeUtf8(answer))) return false;
  code = TextToInt(doc.SubDocumentText("code"));
  return true;
}

}  // namespace qv::shell
