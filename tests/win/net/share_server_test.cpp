// The shared receiver's servers with real sockets under Wine: eight clients
// on a port and a ninth refused; a client that never reads is dropped once
// its backlog passes 64 KiB while the others lose nothing; gpsd's port
// greets with VERSION; Stop closes every client.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "net/share_server.hpp"

namespace {

using trelvane::net::ShareServer;

class Socket {
 public:
  explicit Socket(unsigned short port, int receiveBuffer = 0) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (receiveBuffer > 0) {
      setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer), sizeof receiveBuffer);
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    DWORD timeout = 3000;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { closesocket(socket_); }
  bool connected() const { return connected_; }

  // Reads until `wanted` bytes came, the peer closed, or 3 s passed in silence.
  std::string Read(std::size_t wanted) {
    std::string got;
    char chunk[8192];
    while (got.size() < wanted) {
      const int n = recv(socket_, chunk, sizeof chunk, 0);
      if (n <= 0) {
        closed_ = n == 0 || WSAGetLastError() == WSAECONNRESET;
        break;
      }
      got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
  }
  bool closed() const { return closed_; }

 private:
  SOCKET socket_;
  bool connected_ = false;
  bool closed_ = false;
};

class ShareServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    ASSERT_TRUE(server.Start(nullptr, false));
  }
  void TearDown() override {
    server.Stop();
    WSACleanup();
  }
  // Lets the server's thread take what was posted.
  static void Settle() { Sleep(200); }

  ShareServer server;
};

std::string SentenceNumber(int n) {
  char body[80];
  std::snprintf(body, sizeof body, "GPTXT,01,01,02,sentence %06d of a long stream", n);
  unsigned sum = 0;
  for (const char* c = body; *c != 0; ++c) sum ^= static_cast<unsigned char>(*c);
  char line[96];
  std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum);
  return line;
}

TEST_F(ShareServerTest, EightClientsAPortAndTheNinthRefused) {
  std::vector<std::unique_ptr<Socket>> clients;
  for (int i = 0; i < 9; ++i) clients.push_back(std::make_unique<Socket>(trelvane::net::kNmeaSharePort));
  Settle();
  const std::string line = SentenceNumber(1);
  server.Sentence(line.data(), static_cast<int>(line.size()));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(clients[i]->Read(line.size()), line) << "client " << i;
  EXPECT_EQ(clients[8]->Read(1), "");
  EXPECT_TRUE(clients[8]->closed()) << "the ninth client was kept";

  Socket gpsd(trelvane::net::kGpsdSharePort);
  const std::string greeting = gpsd.Read(12);
  EXPECT_EQ(greeting.rfind("{\"class\":\"VERSION\"", 0), 0u) << greeting;
}

TEST_F(ShareServerTest, AClientThatNeverReadsIsDroppedAndTheOthersLoseNothing) {
  Socket reader(trelvane::net::kNmeaSharePort);
  Socket stalled(trelvane::net::kNmeaSharePort, 1024);
  ASSERT_TRUE(reader.connected() && stalled.connected());
  Settle();
  std::string sent;
  std::string got;
  for (int n = 0; n < 20000; ++n) {  // about 1.2 MB, far past any socket buffer
    const std::string line = SentenceNumber(n);
    server.Sentence(line.data(), static_cast<int>(line.size()));
    sent += line;
    if (n % 500 == 499) got += reader.Read(sent.size() - got.size());
  }
  got += reader.Read(sent.size() - got.size());
  EXPECT_EQ(got.size(), sent.size());
  EXPECT_TRUE(got == sent) << "the reading client lost or broke sentences";
  stalled.Read(static_cast<std::size_t>(-1));
  EXPECT_TRUE(stalled.closed()) << "the client that never read was not dropped";
}

TEST_F(ShareServerTest, StopClosesEveryClient) {
  Socket client(trelvane::net::kNmeaSharePort);
  Socket gpsd(trelvane::net::kGpsdSharePort);
  ASSERT_TRUE(client.connected() && gpsd.connected());
  Settle();
  server.Stop();
  EXPECT_EQ(client.Read(1), "");
  EXPECT_TRUE(client.closed());
  gpsd.Read(static_cast<std::size_t>(-1));
  EXPECT_TRUE(gpsd.closed());
}

}  // namespace
