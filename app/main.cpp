#include "app/program.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  qv::platform::ShareOneHeap();
  return qv::app::RunProgram(qv::platform::CommandLineArguments(argc, argv));
}
