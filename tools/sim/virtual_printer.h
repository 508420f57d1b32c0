// Virtual ESC/POS network printers: each listens on its own loopback address (port 9100 by
// default), takes every connection as one job, answers status requests from its state, and
// hands each finished job to the JobRecorder.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim/cloud_state.h"
#include "tools/sim/printer_status.h"

namespace qv::sim {

using preview::BlockKind;
using preview::EscposDecoder;
using preview::Receipt;
using preview::ReceiptBlock;
using preview::RenderReceipt;

struct PrintJob {
  std::string printer;  // address
  int port = 0;
  int number = 0;  // per printer, from 1
  std::string started;
  std::string ended;
  long long startedMs = 0;    // wall clock (UnixMs) of the connection
  long long firstByteMs = 0;  // of the first byte received, 0 when none came
  long long lastByteMs = 0;   // of the last byte received so far, 0 when none came
  long long endedMs = 0;
  std::string bytes;  // everything received
  Receipt receipt;
  bool printed = true;   // false when the printer could not print (paper out, cover open)
  bool dropped = false;  // the printer closed the connection mid-job
  std::string end;       // how the connection ended
  std::string state;     // StateText at the end of the job
  std::vector<std::string> replies;  // "GS r 1 -> 00" for every status request answered
};

// Keeps every job: raw bytes and decoded receipt as files, a JSON summary of all jobs, and
// a log line (plus the drawn receipt when asked) on stdout.
class JobRecorder {
 public:
  JobRecorder(std::string outDir, bool showReceipts);
  void Record(PrintJob job);
  // Summaries of the jobs, all or of one printer.
  Json Jobs(const std::string& printer = "") const;

 private:
  std::string outDir_;
  bool showReceipts_;
  mutable std::mutex mutex_;
  Json summaries_ = Json::array();
};

class VirtualPrinter {
 public:
  VirtualPrinter(std::string address, int port, PrinterState state, JobRecorder& recorder);
  ~VirtualPrinter();
  VirtualPrinter(const VirtualPrinter&) = delete;
  VirtualPrinter& operator=(const VirtualPrinter&) = delete;

  // Checks that the address can be listened on and starts the printer's thread; empty text
  // on success.
  std::string Start();
  // Ends open jobs (recorded as cut short) and stops listening.
  void Stop();

  const std::string& Address() const { return address_; }
  int Port() const { return port_; }
  PrinterState State() const;
  void SetState(const PrinterState& state);
  Json Describe() const;

 private:
  struct Connection {
    int fd = -1;
    PrintJob job;
    EscposDecoder decoder;
    int dropLimit = -1;
    long long lastActivityMs = 0;
  };

  void Run();
  bool OpenListener(std::string& error);
  void CloseListener();
  // A printer that is switched off answers nothing: a listener whose one-place accept queue
  // is held full by a connection of our own that is never accepted, so the kernel drops every
  // further SYN and a connect runs into its own time limit (no root or packet filter needed).
  bool OpenDeadListener(std::string& error);
  void CloseDeadListener();
  void Accept();
  // Reads what the connection has; false when the job has ended.
  bool ReadFrom(Connection& conn);
  void Take(Connection& conn, std::string_view bytes);
  void Finish(Connection& conn, const std::string& end);
  void Wake();

  std::string address_;
  int port_;
  JobRecorder& recorder_;
  mutable std::mutex mutex_;
  PrinterState state_;
  int listenFd_ = -1;
  int listenReceiveBuffer_ = 0;  // the receive buffer set on listenFd_
  int deadListenFd_ = -1;        // switched off: the listener that never accepts
  int deadFillerFd_ = -1;        // switched off: the connection that fills its accept queue
  int wakePipe_[2] = {-1, -1};
  std::vector<std::unique_ptr<Connection>> connections_;
  int jobCount_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// Reads the printer settings an admin request or a flag gives, as JSON members:
// paper_out, paper_near_end, cover_open, drawer_open, cutter_fault, offline, switched_off,
// stall, mute
// (booleans), drop_after_bytes, drop_jobs, paper_reply (-1..255), receive_buffer (integers).
// Unknown members are an error.
std::string ApplyPrinterSettings(const Json& settings, PrinterState& state);
Json PrinterStateJson(const PrinterState& state);

}  // namespace qv::sim
