// Keeps what the virtual printers received: files for each job and a summary of all jobs.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/sim/sim_log.h"
#include "tools/sim/virtual_printer.h"

namespace qv::sim {
namespace {

bool WriteWhole(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string JobName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "job-%04d", number);
  return name;
}

std::string Heading(const PrintJob& job) {
  std::string text = "== " + job.printer + ":" + std::to_string(job.port) + " job " +
                     std::to_string(job.number) + ", " + std::to_string(job.bytes.size()) +
                     " bytes, " + job.end;
  if (!job.printed) text += " -- NOT PRINTED (" + job.state + ")";
  return text + " ==\n";
}

}  // namespace

JobRecorder::JobRecorder(std::string outDir, bool showReceipts)
    : outDir_(std::move(outDir)), showReceipts_(showReceipts) {}

void JobRecorder::Record(PrintJob job) {
  const std::string drawn = RenderReceipt(job.receipt);
  Json summary = Json::object();
  summary["printer"] = job.printer;
  summary["port"] = job.port;
  summary["job"] = job.number;
  summary["started"] = job.started;
  summary["ended"] = job.ended;
  summary["started_ms"] = job.startedMs;
  summary["first_byte_ms"] = job.firstByteMs;
  summary["last_byte_ms"] = job.lastByteMs;
  summary["ended_ms"] = job.endedMs;
  summary["bytes"] = job.bytes.size();
  summary["end"] = job.end;
  summary["dropped"] = job.dropped;
  summary["printed"] = job.printed;
  summary["state"] = job.state;
  summary["truncated"] = job.receipt.truncated;
  summary["cuts"] = job.receipt.cuts;
  summary["text_lines"] = job.receipt.textLines;
  summary["status_requests"] = job.replies;
  Json lines = Json::array();
  for (const ReceiptBlock& block : job.receipt.blocks) {
    if (block.kind == BlockKind::Text && !block.text.empty()) lines.push_back(block.text);
  }
  summary["lines"] = lines;

  std::lock_guard lock(mutex_);
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::path(outDir_) / job.printer;
  std::filesystem::create_directories(dir, ec);
  const std::string name = JobName(job.number);
  const auto bin = dir / (name + ".bin");
  const auto txt = dir / (name + ".txt");
  if (!WriteWhole(bin, job.bytes) || !WriteWhole(txt, Heading(job) + drawn)) {
    Log("printer " + job.printer, "cannot write the job files in " + dir.string());
  }
  summary["file"] = bin.string();
  summary["receipt_file"] = txt.string();
  summaries_.push_back(summary);
  WriteWhole(std::filesystem::path(outDir_) / "jobs.json", JsonText(summaries_, 1) + "\n");

  std::string line = "job " + std::to_string(job.number) +
                     " done: " + std::to_string(job.bytes.size()) + " bytes, " +
                     std::to_string(job.receipt.textLines) + " text lines, " +
                     std::to_string(job.receipt.cuts) + " cut(s), " + job.end;
  if (!job.replies.empty())
    line += ", " + std::to_string(job.replies.size()) + " status request(s)";
  if (!job.printed) line += " -- NOT PRINTED (" + job.state + ")";
  Log("printer " + job.printer, line);
  if (showReceipts_ && !job.bytes.empty()) LogBlock(Heading(job) + drawn);
}

Json JobRecorder::Jobs(const std::string& printer) const {
  std::lock_guard lock(mutex_);
  if (printer.empty()) return summaries_;
  Json list = Json::array();
  for (const Json& j : summaries_) {
    if (j["printer"] == printer) list.push_back(j);
  }
  return list;
}

}  // namespace qv::sim
