#include "platform/posix/errno_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace qv::platform {
namespace {

// The run log shows these words after "CUPS: " or a ca_file path, so they must be the
// system's own texts, and a code the system does not know must still say which it was.
TEST(ErrnoText, GivesTheSystemsWordsAndNamesUnknownCodes) {
  struct Case {
    int error;
    std::string text;
  };
  for (const Case& c : std::vector<Case>{{ENOENT, "No such file or directory"},
                                         {EACCES, "Permission denied"},
                                         {ECONNREFUSED, "Connection refused"},
                                         {123456, "Unknown error 123456"}}) {
    EXPECT_EQ(ErrnoText(c.error), c.text) << c.error;
  }
}

}  // namespace
}  // namespace qv::platform
