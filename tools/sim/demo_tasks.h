// The sample tasks of the demo: a Chinese restaurant's customer receipts and kitchen
// tickets, read from the task files of the samples directory.
#pragma once

#include <string>
#include <vector>

namespace qv::sim {

// Reads every *.json task file of `dir` (in name order) and returns one task JSON text per
// task; empty with `error` set when the directory holds no usable file.
std::vector<std::string> LoadSampleTasks(const std::string& dir, std::string& error);

// The task text for demo task number `seq` (from 1): the sample tasks taken in turn, with
// "{seq}" in their texts replaced by an order number that grows with `seq`.
std::string DemoTask(const std::vector<std::string>& samples, int seq);

// Reads a whole file; false when it cannot be read.
bool ReadTextFile(const std::string& path, std::string& text);

}  // namespace qv::sim
