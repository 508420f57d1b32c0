// What the cloud sends, decoded in this one place into typed values: the answer to the wait
// request with its tasks, a task's print content, and the code of any other answer. The
// limits the service holds a task to are stated here too; nothing else reads these texts.
//
// The cloud sends several members either as numbers or as strings holding them (print_num 2
// or "2"), and the print content and the task list either as arrays or as strings holding
// the array's JSON text. Members read "as integers" therefore take the leading decimal number
// of the member's compact JSON text (a string holding JSON text counts as that text), 0 when
// there is none; a missing member reads as 0 or as an empty text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/service/print_task.h"
#include "util/json/document.h"

namespace qv {

inline constexpr int32_t kMinCopies = 1;
inline constexpr int32_t kMaxCopies = 5;
inline constexpr int32_t kMinAlignment = 1;  // left
inline constexpr int32_t kMaxAlignment = 3;  // right
inline constexpr int32_t kCodeOk = 200;

// The answer to the wait request, as far as it could be read.
struct WaitAnswer {
  enum class Kind {
    Unreadable,      // not JSON, empty, or null; `error` says where (line 0 when nowhere)
    CodeNotOk,       // `code` is not 200
    NoTask,          // `total` is below 1
    DataUnreadable,  // `data` is missing, null, or a string that holds no JSON value
    DataEmpty,       // `data` holds no task
    Tasks,           // `tasks` holds them, in the order in which the cloud listed them
    OutOfMemory,     // the answer could not be held in the memory left (never decoded)
  };
  Kind kind = Kind::Unreadable;
  JsonParseError error;
  int32_t code = 0;
  std::vector<PrintTask> tasks;
};

// Decodes a wait answer (UTF-8; stray invalid bytes read as U+FFFD). Each task takes app_id,
// store_id and print_content as compact JSON text, uni_key and print_sn as text, print_type
// as an integer and print_num as an integer within kMinCopies..kMaxCopies.
WaitAnswer DecodeWaitAnswer(std::string_view body);

// One line of a print content that prints (type 1); lines of any other type print nothing.
struct ContentLine {
  bool bold = false;              // bold is on only for the value 1
  int32_t align = kMinAlignment;  // within kMinAlignment..kMaxAlignment
  int32_t width = 0;              // character size indexes, handed to the printer as they are
  int32_t height = 0;
  std::string text;
};

// The printing lines of a task's print_content, in order; nullopt when it is not JSON.
std::optional<std::vector<ContentLine>> DecodePrintContent(std::string_view content);

// The `code` of an answer to the report or printer-list request.
struct AnswerCode {
  int32_t value = 0;  // as an integer; 0 when missing
  std::string text;   // its compact JSON text, for messages; empty when missing
};

// Decodes an answer's code; nullopt when the answer is not JSON (or is empty or null).
std::optional<AnswerCode> DecodeAnswerCode(std::string_view body);

}  // namespace qv
