// A shared receiver's client backlog: items whole or not at all, room freed
// as the socket takes bytes, across the ring's end.
#include <gtest/gtest.h>

#include <string>

#include "monitor/send_backlog.hpp"

namespace {

using trelvane::monitor::SendBacklog;

// What the socket would be sent next, taking at most `most` bytes.
std::string Send(SendBacklog& backlog, std::size_t most) {
  const char* piece = nullptr;
  std::size_t count = backlog.Peek(&piece);
  if (count > most) count = most;
  const std::string sent(piece, count);
  backlog.Drop(count);
  return sent;
}

TEST(SendBacklog, TakesItemsWholeAndFreesWhatWasSent) {
  struct Step {
    const char* put;    // nullptr: a send instead
    bool fits;
    std::size_t most;   // a send: how much the socket takes
    const char* sent;
    std::size_t waiting;
  } steps[] = {
      {"abcde", true, 0, "", 5},
      {"fghi", false, 0, "", 5},  // 9 of 8: the client has stopped reading
      {nullptr, false, 3, "abc", 2},
      {"fghij", true, 0, "", 7},  // now it fits, round the ring's end
      {nullptr, false, 100, "defgh", 2},  // one piece up to the end
      {nullptr, false, 100, "ij", 0},
      {nullptr, false, 100, "", 0},
      {"12345678", true, 0, "", 8},
      {"", true, 0, "", 8},
  };
  SendBacklog backlog(8);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.put != nullptr ? step.put : step.sent);
    if (step.put != nullptr) {
      EXPECT_EQ(backlog.Put(step.put, std::string(step.put).size()), step.fits);
    } else {
      EXPECT_EQ(Send(backlog, step.most), step.sent);
    }
    EXPECT_EQ(backlog.Waiting(), step.waiting);
  }
}

// A client that keeps up, but always leaves a tail unsent, never fills the
// ring: what it took is free at once. A moved-from backlog takes nothing.
TEST(SendBacklog, AClientThatKeepsUpNeverFillsIt) {
  SendBacklog backlog(64);
  const std::string sentence = "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n";
  std::string received;
  for (int i = 0; i < 10000; ++i) {
    ASSERT_TRUE(backlog.Put(sentence.data(), sentence.size())) << i;
    while (backlog.Waiting() > 1) received += Send(backlog, backlog.Waiting() - 1);
  }
  received += Send(backlog, 64) + Send(backlog, 64);
  EXPECT_EQ(received.size(), sentence.size() * 10000);
  EXPECT_EQ(received.substr(received.size() - sentence.size()), sentence);
  SendBacklog moved = std::move(backlog);
  EXPECT_FALSE(backlog.Put("x", 1));
  EXPECT_TRUE(moved.Put("x", 1));
}

}  // namespace
