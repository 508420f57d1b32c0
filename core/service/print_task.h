// One print task fetched from the cloud, copied by value into and out of the task queue.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct PrintTask {
  std::string app_id;
  std::string store_id;
  std::string uni_key;        // identifies the task in the result report
  int32_t print_type = 0;     // 1 network, 2 spooler ("USB"), 3 parallel port
  std::string print_sn;       // IP address, printer name or port number, by print_type
  int32_t print_num = 1;      // copies, 1..5
  std::string print_content;  // JSON array of content lines
  int32_t status = 0;         // 3 after a failed attempt
  std::string message;        // failure text of the last attempt
};

}  // namespace qv
