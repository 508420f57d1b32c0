// Which thread is the UI thread, and a check for the code that only it may run. The service's
// state has one owner, the UI thread: code that touches it from a lane is a race that shows
// only now and then, so a debug build stops at the first such call instead.
#pragma once

namespace qv {

// Names the calling thread the UI thread; call once, before the loop runs. Without a call the
// first thread that checks becomes it (tests drive everything from their own thread).
void BindUiThread();
// Debug builds: aborts with a message when called off the UI thread. Release builds: nothing.
void CheckUiThread();

}  // namespace qv
