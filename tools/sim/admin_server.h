// The simulator's control panel: plain HTTP with JSON on a loopback port, for scripts and
// tests to add tasks, read what the cloud received, inject faults and set printer states.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/sim/cloud_state.h"
#include "tools/sim/fault_plan.h"
#include "tools/sim/virtual_printer.h"

namespace httplib {
class Server;
}

namespace qv::sim {

// What the admin interface can reach; the parts a mode does not run stay null or empty.
struct AdminTargets {
  CloudState* cloud = nullptr;
  FaultPlan* faults = nullptr;
  JobRecorder* jobs = nullptr;
  std::vector<VirtualPrinter*> printers;
  std::string cloudUrl;
  std::string caFile;
};

class AdminServer {
 public:
  explicit AdminServer(AdminTargets targets);
  ~AdminServer();

  // Listens on 127.0.0.1:`port` on a thread of its own; empty text on success.
  std::string Start(int port);
  void Stop();

 private:
  void RouteCloud();
  void RoutePrinters();
  VirtualPrinter* FindPrinter(const std::string& address) const;

  AdminTargets targets_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
};

}  // namespace qv::sim
