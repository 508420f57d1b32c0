#include "core/lanes/ticket_outbox.h"

#include <algorithm>

#include "platform/file_system.h"

namespace qv {
namespace {

// Dead lines may outnumber the held tickets by this much before the file is written anew, so
// that a few tickets in hand do not cost a rewrite each.
constexpr size_t kRewriteSlack = 256;
// Keys sent while no poll came to forget them: enough for any answer still on its way.
constexpr size_t kRecentlySentKept = 10'000;

std::string SetAsideName(const std::string& path) {
  for (int n = 1;; ++n) {
    std::string candidate = path + ".bad" + std::to_string(n);
    if (!platform::FileExists(candidate)) return candidate;
  }
}

}  // namespace

TicketOutbox::TicketOutbox(SendReport send, Timing timing)
    : send_(std::move(send)), timing_(timing), lane_([this] { ReportLane(); }) {}

TicketOutbox::~TicketOutbox() {
  StopReporting();
  lane_.join();
}

TicketOutbox::Restored TicketOutbox::Open(const std::string& path,
                                          const std::function<bool(const std::string&)>& queued) {
  Restored result;
  std::string text;
  std::vector<TicketLine> lines;
  const bool exists = platform::FileExists(path);
  const TicketFileRead read = exists && platform::ReadFile(path, text) ? ReadTicketFile(text, lines)
                                                                       : TicketFileRead::Unusable;
  std::lock_guard lock(mutex_);
  path_ = path;
  if (exists && read == TicketFileRead::Unusable) {
    // Kept for whoever wants to look; its tickets cannot be told apart from damage.
    result.setAsidePath = SetAsideName(path);
    if (!platform::RenameFile(path, result.setAsidePath)) {
      // Writing over it would destroy what it may still hold: this run keeps to memory.
      result.setAsidePath.clear();
      path_.clear();
      writable_ = false;
    }
  }
  std::vector<std::pair<Ticket, TicketLine*>> restored;
  for (TicketLine& line : lines) {
    if (line.sent) continue;
    if (line.state == TicketState::Waiting && queued(line.key)) continue;  // rule 1
    Ticket t{line.key, line.state, line.offset, text.find('\n', line.offset) + 1 - line.offset};
    if (line.state == TicketState::Printing) {
      t.state = TicketState::Failed;  // rule 3
      ++result.cutOff;
    }
    restored.emplace_back(std::move(t), &line);
  }
  for (auto& [ticket, line] : restored) {
    const TicketId id = nextId_++;
    ++heldKeys_[ticket.key];
    if (ticket.state == TicketState::Waiting) {
      waitingTasks_[id] = line->task;
      result.toPrint.emplace_back(id, line->task);
    } else {
      owed_.push_back(id);
    }
    tickets_.emplace(id, std::move(ticket));
  }
  result.owed = owed_.size();
  deadLines_ = lines.size() - restored.size();
  if (!Rewrite(/*force=*/true) && read != TicketFileRead::Unusable) {
    // The old file stays, and so do its offsets: what the rewrite would have left out or
    // changed goes into its marks instead.
    for (const TicketLine& line : lines) {
      if (!line.sent && line.state == TicketState::Waiting && queued(line.key)) {
        const uint64_t bytes = text.find('\n', line.offset) + 1 - line.offset;
        Mark(Ticket{line.key, line.state, line.offset, bytes}, TicketSentOffset(bytes), '1');
      }
    }
    for (const auto& [id, t] : tickets_) {
      if (t.state == TicketState::Failed) Mark(t, TicketStateOffset(t.bytes), 'f');
    }
  }
  wake_.notify_all();
  return result;
}

std::vector<TicketId> TicketOutbox::Hold(std::vector<std::pair<std::string, std::string>> tickets) {
  std::vector<TicketId> ids;
  std::string text;
  std::vector<uint64_t> starts;
  for (const auto& [key, task] : tickets) {
    starts.push_back(text.size());
    text += TicketLineText(TicketLine{key, task, TicketState::Waiting, false, 0});
  }
  std::lock_guard lock(mutex_);
  uint64_t at = 0;
  const bool written =
      !path_.empty() && !text.empty() && platform::AppendFileWhole(path_, text, at);
  if (!path_.empty() && !text.empty() && !written) writable_ = false;
  for (size_t i = 0; i < tickets.size(); ++i) {
    const uint64_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    Ticket t{tickets[i].first, TicketState::Waiting, written ? at + starts[i] : kNotInFile,
             end - starts[i]};
    const TicketId id = nextId_++;
    ++heldKeys_[t.key];
    waitingTasks_[id] = std::move(tickets[i].second);
    tickets_.emplace(id, std::move(t));
    ids.push_back(id);
  }
  return ids;
}

void TicketOutbox::Started(TicketId id) {
  std::lock_guard lock(mutex_);
  auto it = tickets_.find(id);
  if (it == tickets_.end()) return;
  it->second.state = TicketState::Printing;
  waitingTasks_.erase(id);
  Mark(it->second, TicketStateOffset(it->second.bytes), 'p');
}

void TicketOutbox::Ended(TicketId id, bool printed) {
  {
    std::lock_guard lock(mutex_);
    auto it = tickets_.find(id);
    if (it == tickets_.end()) return;
    it->second.state = printed ? TicketState::Printed : TicketState::Failed;
    waitingTasks_.erase(id);
    Mark(it->second, TicketStateOffset(it->second.bytes), printed ? '1' : 'f');
    owed_.push_back(id);
  }
  wake_.notify_all();
}

uint64_t TicketOutbox::SentMark() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

bool TicketOutbox::Holds(const std::string& uniKey, uint64_t sentSince) const {
  if (uniKey.empty()) return false;
  std::lock_guard lock(mutex_);
  if (heldKeys_.count(uniKey) > 0) return true;
  return std::any_of(recentlySent_.begin(), recentlySent_.end(), [&](const auto& sent) {
    return sent.first > sentSince && sent.second == uniKey;
  });
}

void TicketOutbox::ForgetSentBefore(uint64_t mark) {
  std::lock_guard lock(mutex_);
  while (!recentlySent_.empty() && recentlySent_.front().first <= mark) recentlySent_.pop_front();
}

size_t TicketOutbox::Owed() const {
  std::lock_guard lock(mutex_);
  return owed_.size();
}

bool TicketOutbox::JournalWritable() const {
  std::lock_guard lock(mutex_);
  return writable_;
}

void TicketOutbox::Flush() {
  std::lock_guard lock(mutex_);
  if (!path_.empty()) platform::FlushFile(path_);
}

void TicketOutbox::StopReporting() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
}

void TicketOutbox::ReportLane() {
  std::unique_lock lock(mutex_);
  std::chrono::milliseconds delay = timing_.firstRetry;
  Clock::time_point retryAt{};
  for (;;) {
    if (stopping_) return;
    if (owed_.empty()) {
      wake_.wait(lock);
      continue;
    }
    if (Clock::now() < retryAt) {
      wake_.wait_until(lock, retryAt);
      continue;
    }
    const TicketId id = owed_.front();
    const Ticket& t = tickets_.at(id);
    const std::string key = t.key;
    const bool printed = t.state == TicketState::Printed;
    lock.unlock();
    const ReportAnswer answer = send_(key, printed);
    lock.lock();
    if (answer == ReportAnswer::NoAnswer) {
      // The cloud is away: the same result again after a pause, the later ones behind it, so
      // the cloud learns the results in the order the tickets ended.
      retryAt = Clock::now() + delay;
      delay = std::min(delay * 2, timing_.lastRetry);
      continue;
    }
    delay = timing_.firstRetry;
    retryAt = {};
    owed_.pop_front();
    Release(id, /*sent=*/true);
  }
}

void TicketOutbox::Withdraw(TicketId id) {
  std::lock_guard lock(mutex_);
  auto it = tickets_.find(id);
  // A ticket whose result is owed keeps it: the cloud must hear of what was printed.
  if (it == tickets_.end() || std::find(owed_.begin(), owed_.end(), id) != owed_.end()) return;
  waitingTasks_.erase(id);
  Release(id, /*sent=*/false);
}

void TicketOutbox::Release(TicketId id, bool sent) {
  auto it = tickets_.find(id);
  Mark(it->second, TicketSentOffset(it->second.bytes), '1');
  if (--heldKeys_[it->second.key] == 0) heldKeys_.erase(it->second.key);
  if (sent) {
    recentlySent_.emplace_back(++sent_, it->second.key);
    if (recentlySent_.size() > kRecentlySentKept) recentlySent_.pop_front();
  }
  tickets_.erase(it);
  ++deadLines_;
  Rewrite(/*force=*/false);
}

void TicketOutbox::Mark(const Ticket& t, uint64_t offsetInLine, char value) {
  if (t.offset == kNotInFile) return;
  if (!platform::OverwriteFile(path_, t.offset + offsetInLine, std::string_view(&value, 1))) {
    writable_ = false;
  }
}

bool TicketOutbox::Rewrite(bool force) {
  if (path_.empty()) return false;
  const bool worth = deadLines_ > tickets_.size() + kRewriteSlack ||
                     (tickets_.empty() && deadLines_ > 0) || !writable_;
  if (!force && !worth) return false;
  // In the order they were held, which is the order Open gives them back in.
  std::vector<TicketId> ids;
  for (const auto& [id, t] : tickets_) ids.push_back(id);
  std::sort(ids.begin(), ids.end());
  std::string text = TicketFileHeader();
  std::vector<std::pair<uint64_t, uint64_t>> placed;
  for (TicketId id : ids) {
    const Ticket& t = tickets_.at(id);
    auto task = waitingTasks_.find(id);
    const std::string line = TicketLineText(TicketLine{
        t.key, task != waitingTasks_.end() ? task->second : std::string(), t.state, false, 0});
    placed.emplace_back(text.size(), line.size());
    text += line;
  }
  if (!platform::ReplaceFileDurably(path_, text)) {
    writable_ = false;
    return false;
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    Ticket& t = tickets_.at(ids[i]);
    t.offset = placed[i].first;
    t.bytes = placed[i].second;
  }
  deadLines_ = 0;
  writable_ = true;
  return true;
}

}  // namespace qv
