// The hidden export gesture of the service window: support staff right-click it ten times.
#pragma once

namespace qv::shell {

class ExportGesture {
 public:
  // Counts one right-button press; true from the tenth press on.
  bool Press() { return ++presses_ >= kPressesNeeded; }
  void Reset() { presses_ = 0; }

 private:
  static constexpr int kPressesNeeded = 10;
  int presses_ = 0;
};

}  // namespace qv::shell
