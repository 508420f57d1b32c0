// Reading the `code` member of a cloud answer.
#pragma once

#include <string>

namespace qv::shell {

// Parses `answer` as JSON; false when it is not JSON. `code` is the member "code" read as an
// integer (a string holding a number counts as that number), 0 when missing.
bool ReadAnswerCode(const std::string& answer, int& code);

}  // namespace qv::shell
