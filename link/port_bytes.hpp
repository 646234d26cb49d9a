// Where bytes for the receiver go as they stand (a corrections frame, a
// binary command): the link's port, whose writes take turns whole with the
// window's commands.
#pragma once

namespace trelvane::link {

class PortBytes {
 public:
  // Writes `bytes` whole, in its turn, to the open link; 0 when the link
  // knows they did not go (a network receiver being reconnected), else 1.
  virtual int WriteBytes(const unsigned char* bytes, int length) = 0;

 protected:
  ~PortBytes() = default;
};

}  // namespace trelvane::link
