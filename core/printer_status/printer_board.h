// The printer status board: one row per printer the service knows, its state from the last
// ticket or quiet recheck, and the alert to give when a printer goes into trouble.
//
// The board only keeps state; it never talks to a printer. The print path tells it when a
// ticket starts and how it ended, the owner asks which printers are due for a recheck, runs
// those checks off the window's thread and hands their outcome back. An alert comes back from
// the call that changed a printer's state, once per change, never once per ticket.
//
// Thread: the UI thread owns it; every call is made there.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "util/local_time.h"

namespace qv {

enum class PrinterHealth { Unknown, Ready, PaperOut, Unreachable, Failed };

// "未知", "正常", "缺纸或纸盖开启", "无法连接", "打印失败".
std::string HealthText(PrinterHealth health);

// "IP打印机", "USB打印机", "LPT打印机" for print_type 1, 2, 3; "打印机" otherwise.
std::string PrinterKindText(int32_t printType);

// A printer as tasks name it.
struct PrinterId {
  int32_t printType = 0;  // 1 network, 2 spooler, 3 parallel port
  std::string printSn;    // address, printer name or port
  auto operator<=>(const PrinterId&) const = default;
};

// How a ticket ended, in the words the print path already has for it.
enum class TicketOutcome {
  Printed,
  PaperOut,       // ESC v answered paper out or cover open; nothing was sent
  ConnectFailed,  // no connection, port or spooler job
  Failed,         // opened, but the bytes did not all arrive
};

// What a quiet recheck found (network: connect and ESC v; spooler: the queue's state).
enum class CheckOutcome { Ready, PaperOut, Unreachable, CannotTell };

struct PrinterRow {
  PrinterId id;
  std::string name;  // the shop's name for it ("厨房"), empty when none is known
  PrinterHealth health = PrinterHealth::Unknown;
  bool hasTicket = false;  // the fields below about the last ticket are set
  LocalTime lastTicketTime;
  bool lastTicketPrinted = false;
  int printedToday = 0;
  int failedToday = 0;
  int unprinted = 0;  // tickets that failed since it went into trouble
};

struct PrinterAlert {
  PrinterId id;
  std::string text;  // "厨房 192.168.1.50：缺纸或纸盖开启，1 张小票未打印"
};

class PrinterBoard {
 public:
  // A printer in trouble is rechecked this long after its last ticket or check.
  static constexpr int64_t kRecheckIntervalMs = 30000;

  explicit PrinterBoard(platform::Clock& clock);

  // Adds a row (state 未知) for a printer not printed to yet: the spooler's printers, those
  // of the journal; gives a known row its name when `name` is not empty.
  void Know(const PrinterId& id, const std::string& name = {});

  // A ticket goes to the printer: no recheck for it until the ticket has ended.
  void TicketStarted(const PrinterId& id);

  // The ticket ended; the alert when the printer went into (another) trouble.
  std::optional<PrinterAlert> TicketFinished(const PrinterId& id, TicketOutcome outcome);

  // The printers in trouble, not in use, whose last ticket or check is 30 s old or more;
  // they count as being checked from now until RecheckFinished.
  std::vector<PrinterId> DueForRecheck();

  // A recheck's outcome; ignored when a ticket started since (its own result is newer). The
  // alert when the check found another trouble.
  std::optional<PrinterAlert> RecheckFinished(const PrinterId& id, CheckOutcome outcome);

  // Every row, ordered by kind then address; today's counts start at 0 each day.
  std::vector<PrinterRow> Rows();

 private:
  struct Entry {
    PrinterRow row;
    bool inUse = false;
    bool checking = false;
    int64_t lastAttemptMs = 0;  // monotonic time of the last ticket's end or check
  };

  Entry& Find(const PrinterId& id);
  // Moves the row to `health`; the alert when that is a trouble it was not in.
  std::optional<PrinterAlert> Become(Entry& entry, PrinterHealth health);
  void StartNewDay();

  platform::Clock& clock_;
  std::map<PrinterId, Entry> entries_;
  LocalTime countsDay_;  // the day today's counts belong to
};

// The alert's words for a row: name and address, its trouble, the tickets it did not print.
std::string AlertText(const PrinterRow& row);

}  // namespace qv
