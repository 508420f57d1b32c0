#include "tools/sim/sim_options.h"

#include <charconv>
#include <cstdlib>

namespace qv::sim {
namespace {

bool ToInt(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// A printer flag names one address (or several, comma-separated) and sets one state member.
void AddSetting(SimOptions& o, const std::string& addresses, const char* key, Json value) {
  for (const std::string& a : SplitCommas(addresses)) {
    o.printerSettings.emplace_back(a, Json{{key, value}});
  }
}

}  // namespace

std::string Usage() {
  return R"(quorvel-sim: a cloud API simulator and virtual ESC/POS network printers

  quorvel-sim cloud   [options]   the HTTPS cloud API and the admin interface
  quorvel-sim printer [options]   virtual network printers
  quorvel-sim demo    [options]   both, with sample restaurant tasks

Common:
  --dir DIR               state directory: certs/, jobs/ (default ./sim-state)
  --admin-port N          admin HTTP port on 127.0.0.1, 0 for none
                          (default 8480; 8481 in printer mode)
Cloud:
  --sid ID                the store the cloud serves (default 20260001)
  --cloud-host ADDR       address to listen on (default 127.0.0.1)
  --cloud-port N          HTTPS port (default 8443)
  --tasks-file FILE       load tasks from a JSON file (repeatable)
  --entry-window S        seconds the entry time may be off (default 300)
  --max-per-poll N        tasks handed out per poll (default 10)
  --write-config DIR      write DIR/config.ini for the print service
  --poll-seconds N        'time' written into that config.ini (default 2)
  --wine-paths            write ca_file as Z:\... for the Windows build under Wine
Printers:
  --printers A,B,...      loopback addresses (default 127.0.0.11,127.0.0.12);
                          task files may name them as print_sn "@1", "@2"...
  --printer-port N        TCP port of every printer (default 9100)
  --paper-out A[,B]       start these printers with paper out
  --cover-open A[,B]      ... with the cover open
  --offline A[,B]         ... refusing connections
  --switched-off A[,B]    ... answering no connection attempt (SYNs dropped)
  --stall A[,B]           ... accepting connections but never reading
  --drop-after A:N        drop the next job on A after N bytes
  --quiet-receipts        log jobs without drawing the receipts
Demo:
  --tasks N               sample tasks to queue (default 6)
  --task-interval S       seconds between queued tasks (default 0: all at start)
  --samples DIR           sample task files (default: the source tree's samples)

Admin interface (JSON): GET /status /tasks /reports /printer-lists /requests /faults
/printers /jobs; POST /tasks (task JSON), /tasks/load {"path":..}, /faults
{"kind":"slow|silent|http500|non_json|empty|drop|code","count":N,"delay_ms":..,"code":..,
"endpoint":"wait|report|chk","consume":bool}, /printers/<addr> {"paper_out":true,...},
/reset; DELETE /faults.
)";
}

std::string ParseOptions(const std::vector<std::string>& args, SimOptions& o) {
  if (args.empty()) return "help";
  const std::string& mode = args[0];
  if (mode == "cloud") {
    o.mode = SimMode::Cloud;
  } else if (mode == "printer") {
    o.mode = SimMode::Printer;
    o.adminPort = 8481;
  } else if (mode == "demo") {
    o.mode = SimMode::Demo;
  } else if (mode == "-h" || mode == "--help" || mode == "help") {
    return "help";
  } else {
    return "unknown mode \"" + mode + "\" (cloud, printer or demo)";
  }
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& flag = args[i];
    if (flag == "-h" || flag == "--help") return "help";
    if (flag == "--quiet-receipts") {
      o.showReceipts = false;
      continue;
    }
    if (flag == "--wine-paths") {
      o.winePaths = true;
      continue;
    }
    if (i + 1 >= args.size()) return flag + " needs a value";
    const std::string& v = args[++i];
    int n = 0;
    auto number = [&](int& target, int low) -> std::string {
      if (!ToInt(v, n) || n < low) return flag + ": \"" + v + "\" is not a valid number";
      target = n;
      return "";
    };
    std::string error;
    if (flag == "--dir") {
      o.dir = v;
    } else if (flag == "--sid") {
      o.sid = v;
    } else if (flag == "--cloud-host") {
      o.cloudHost = v;
    } else if (flag == "--cloud-port") {
      error = number(o.cloudPort, 1);
    } else if (flag == "--admin-port") {
      error = number(o.adminPort, 0);
    } else if (flag == "--tasks-file") {
      o.taskFiles.push_back(v);
    } else if (flag == "--entry-window") {
      error = number(o.entryWindowSeconds, 0);
    } else if (flag == "--max-per-poll") {
      error = number(o.maxTasksPerPoll, 1);
    } else if (flag == "--write-config") {
      o.writeConfigDir = v;
    } else if (flag == "--poll-seconds") {
      error = number(o.pollSeconds, 1);
    } else if (flag == "--printers") {
      o.printers = SplitCommas(v);
    } else if (flag == "--printer-port") {
      error = number(o.printerPort, 1);
    } else if (flag == "--paper-out") {
      AddSetting(o, v, "paper_out", true);
    } else if (flag == "--cover-open") {
      AddSetting(o, v, "cover_open", true);
    } else if (flag == "--offline") {
      AddSetting(o, v, "offline", true);
    } else if (flag == "--switched-off") {
      AddSetting(o, v, "switched_off", true);
    } else if (flag == "--stall") {
      AddSetting(o, v, "stall", true);
    } else if (flag == "--drop-after") {
      size_t colon = v.rfind(':');
      if (colon == std::string::npos || !ToInt(v.substr(colon + 1), n) || n < 0) {
        return "--drop-after wants ADDRESS:BYTES";
      }
      AddSetting(o, v.substr(0, colon), "drop_after_bytes", n);
    } else if (flag == "--tasks") {
      error = number(o.demoTasks, 0);
    } else if (flag == "--task-interval") {
      char* end = nullptr;
      o.taskIntervalSeconds = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || o.taskIntervalSeconds < 0) {
        return "--task-interval: \"" + v + "\" is not a number of seconds";
      }
    } else if (flag == "--samples") {
      o.samplesDir = v;
    } else {
      return "unknown option " + flag;
    }
    if (!error.empty()) return error;
  }
  for (const auto& [address, settings] : o.printerSettings) {
    bool known = false;
    for (const std::string& p : o.printers) known = known || p == address;
    if (!known) return address + " is not one of the --printers";
  }
  return "";
}

}  // namespace qv::sim
