#include "core/printer_status/printer_board.h"

namespace qv {
namespace {

bool InTrouble(PrinterHealth health) {
  return health == PrinterHealth::PaperOut || health == PrinterHealth::Unreachable ||
         health == PrinterHealth::Failed;
}

bool SameDay(const LocalTime& a, const LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

PrinterHealth HealthAfter(TicketOutcome outcome) {
  switch (outcome) {
    case TicketOutcome::Printed:
      return PrinterHealth::Ready;
    case TicketOutcome::PaperOut:
      return PrinterHealth::PaperOut;
    case TicketOutcome::ConnectFailed:
      return PrinterHealth::Unreachable;
    case TicketOutcome::Failed:
      return PrinterHealth::Failed;
  }
  return PrinterHealth::Unknown;
}

}  // namespace

std::string HealthText(PrinterHealth health) {
  switch (health) {
    case PrinterHealth::Unknown:
      return "未知";
    case PrinterHealth::Ready:
      return "正常";
    case PrinterHealth::PaperOut:
      return "缺纸或纸盖开启";
    case PrinterHealth::Unreachable:
      return "无法连接";
    case PrinterHealth::Failed:
      return "打印失败";
  }
  return "未知";
}

std::string PrinterKindText(int32_t printType) {
  switch (printType) {
    case 1:
      return "IP打印机";
    case 2:
      return "USB打印机";
    case 3:
      return "LPT打印机";
    default:
      return "打印机";
  }
}

std::string AlertText(const PrinterRow& row) {
  std::string text = row.name.empty() ? row.id.printSn : row.name + " " + row.id.printSn;
  text += "：" + HealthText(row.health);
  if (row.unprinted > 0) text += "，" + std::to_string(row.unprinted) + " 张小票未打印";
  return text;
}

PrinterBoard::PrinterBoard(platform::Clock& clock) : clock_(clock), countsDay_(clock.Now()) {}

PrinterBoard::Entry& PrinterBoard::Find(const PrinterId& id) {
  auto [it, added] = entries_.try_emplace(id);
  if (added) it->second.row.id = id;
  return it->second;
}

void PrinterBoard::Know(const PrinterId& id, const std::string& name) {
  Entry& entry = Find(id);
  if (!name.empty()) entry.row.name = name;
}

void PrinterBoard::TicketStarted(const PrinterId& id) {
  Entry& entry = Find(id);
  entry.inUse = true;
  entry.checking = false;
}

std::optional<PrinterAlert> PrinterBoard::TicketFinished(const PrinterId& id,
                                                         TicketOutcome outcome) {
  StartNewDay();
  Entry& entry = Find(id);
  entry.inUse = false;
  entry.lastAttemptMs = clock_.MonotonicMs();
  PrinterRow& row = entry.row;
  row.hasTicket = true;
  row.lastTicketTime = clock_.Now();
  row.lastTicketPrinted = outcome == TicketOutcome::Printed;
  if (row.lastTicketPrinted) {
    ++row.printedToday;
  } else {
    ++row.failedToday;
    // Counted before the state changes so that the alert names this ticket too.
    ++row.unprinted;
  }
  return Become(entry, HealthAfter(outcome));
}

std::vector<PrinterId> PrinterBoard::DueForRecheck() {
  std::vector<PrinterId> due;
  const int64_t now = clock_.MonotonicMs();
  for (auto& [id, entry] : entries_) {
    if (!InTrouble(entry.row.health) || entry.inUse || entry.checking) continue;
    if (now - entry.lastAttemptMs < kRecheckIntervalMs) continue;
    entry.checking = true;
    due.push_back(id);
  }
  return due;
}

std::optional<PrinterAlert> PrinterBoard::RecheckFinished(const PrinterId& id,
                                                          CheckOutcome outcome) {
  auto it = entries_.find(id);
  if (it == entries_.end() || !it->second.checking) return std::nullopt;
  Entry& entry = it->second;
  entry.checking = false;
  entry.lastAttemptMs = clock_.MonotonicMs();
  switch (outcome) {
    case CheckOutcome::Ready:
      return Become(entry, PrinterHealth::Ready);
    case CheckOutcome::PaperOut:
      return Become(entry, PrinterHealth::PaperOut);
    case CheckOutcome::Unreachable:
      return Become(entry, PrinterHealth::Unreachable);
    case CheckOutcome::CannotTell:
      break;
  }
  return std::nullopt;
}

std::optional<PrinterAlert> PrinterBoard::Become(Entry& entry, PrinterHealth health) {
  PrinterRow& row = entry.row;
  const PrinterHealth before = row.health;
  row.health = health;
  if (!InTrouble(health)) {
    row.unprinted = 0;
    return std::nullopt;
  }
  if (health == before) return std::nullopt;
  return PrinterAlert{row.id, AlertText(row)};
}

std::vector<PrinterRow> PrinterBoard::Rows() {
  StartNewDay();
  std::vector<PrinterRow> rows;
  rows.reserve(entries_.size());
  for (const auto& [id, entry] : entries_) rows.push_back(entry.row);
  return rows;
}

void PrinterBoard::StartNewDay() {
  const LocalTime now = clock_.Now();
  if (SameDay(now, countsDay_)) return;
  countsDay_ = now;
  for (auto& [id, entry] : entries_) {
    entry.row.printedToday = 0;
    entry.row.failedToday = 0;
  }
}

}  // namespace qv
