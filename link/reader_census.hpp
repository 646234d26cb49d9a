// How many reader threads of one kind of link have been started and not yet
// ended. A link hands its reader off when it closes (the reader may still be
// delivering a line), so this is the one place that tells whether a closed
// link's reader has really gone.
#pragma once

#include <windows.h>

namespace trelvane::link {

class ReaderCensus {
 public:
  // Before the thread is created, so that a reader never ends uncounted.
  void Starting() { InterlockedIncrement(&running_); }
  // The reader's last step (or the creation failed).
  void Ended() { InterlockedDecrement(&running_); }
  int Running() const { return static_cast<int>(running_); }

 private:
  volatile LONG running_ = 0;
};

}  // namespace trelvane::link
