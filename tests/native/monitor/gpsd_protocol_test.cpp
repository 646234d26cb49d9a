// gpsd's client protocol for one client of the shared receiver: what each
// run of bytes a client sends is answered with, and what it decides (watch,
// which reports, close). The expectations are gpsd_json(5)'s: the objects'
// classes and the members that a request decides.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "monitor/gpsd_protocol.hpp"
#include "tests/native/monitor/json_members.hpp"
#include "tests/native/nmea/capture_file.hpp"

namespace {

using namespace trelvane;
using monitor::GpsdClient;
using monitor::GpsdView;
using nlohmann::json;
using trelvane::testing::HasMembers;

// The last TPV and SKY gpsd reported of a capture: the view's latest reports.
std::string LastReport(const std::string& chk, const std::string& kind) {
  const std::size_t at = chk.rfind("{\"class\":\"" + kind + "\"");
  return at == std::string::npos ? "" : chk.substr(at, chk.find_first_of("\r\n", at) - at);
}

const std::string kChk = trelvane::testing::ReadCapture("multi/ublox-zed-f9p-nmea.log.chk");
const std::string kTpv = LastReport(kChk, "TPV"), kSky = LastReport(kChk, "SKY");
const GpsdView kLinked{"COM3", "2024-05-01T10:00:00.000Z", kTpv.c_str(), kSky.c_str(), "2024-05-01T10:00:05.000Z"};
const GpsdView kUnlinked{"", "", "", "", "2024-05-01T10:00:05.000Z"};

const std::string kTooLong(monitor::kGpsdCommandChars + 1, 'x');
std::string Nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// A client's session: the chunks it sends, in order, to one GpsdClient.
// Each expected answer holds members the answer must have (HasMembers).
struct Session {
  const char* what;
  std::vector<std::string> chunks;
  const GpsdView* view;
  std::vector<const char*> answers;
  bool open, wantsJson, wantsNmea;  // after the last chunk
};

const Session kSessions[] = {
    {"a watch for JSON", {"?WATCH={\"enable\":true,\"json\":true};"}, &kLinked,
     {R"({"class":"DEVICES","devices":[{"class":"DEVICE","path":"COM3","activated":"2024-05-01T10:00:00.000Z"}]})",
      R"({"class":"WATCH","enable":true,"json":true,"nmea":false,"raw":0})"},
     true, true, false},
    {"split across reads, a newline for its end", {"?WA", "TCH={\"enable\":tr", "ue,\"nmea\":true}", "\r\n"},
     &kLinked, {R"({"class":"DEVICES"})", R"({"class":"WATCH","enable":true,"json":false,"nmea":true})"}, true,
     false, true},
    {"byte by byte", {"?", "P", "O", "L", "L", ";"}, &kLinked, {R"({"class":"POLL","active":1})"}, true, false, false},
    {"several in one read", {"?VERSION;?DEVICES;\n?POLL;"}, &kLinked,
     {R"({"class":"VERSION","proto_major":3})", R"({"class":"DEVICES"})",
      R"({"class":"POLL","time":"2024-05-01T10:00:05.000Z","active":1})"},
     true, false, false},
    {"watching, then not", {"?WATCH={\"json\":true,\"nmea\":true};", "?WATCH={\"enable\":false};"}, &kLinked,
     {R"({"class":"DEVICES"})", R"({"class":"WATCH","enable":true,"json":true,"nmea":true})",
      R"({"class":"DEVICES"})", R"({"class":"WATCH","enable":false,"json":true,"nmea":true})"},
     true, false, false},
    {"a watch enabled without a kind of report gets JSON", {"?WATCH={\"enable\":true};"}, &kLinked,
     {R"({"class":"DEVICES"})", R"({"class":"WATCH","enable":true,"json":true,"nmea":false})"}, true, true, false},
    {"raw data of an NMEA receiver are its sentences", {"?WATCH={\"enable\":true,\"raw\":1};"}, &kLinked,
     {R"({"class":"DEVICES"})", R"({"class":"WATCH","raw":1,"json":false})"}, true, false, true},
    {"?WATCH; shows the watch unchanged", {"?WATCH={\"nmea\":true};?WATCH;"}, &kLinked,
     {R"({"class":"DEVICES"})", R"({"class":"WATCH","nmea":true})", R"({"class":"DEVICES"})",
      R"({"class":"WATCH","nmea":true})"},
     true, false, true},
    {"the receiver's own device", {"?WATCH={\"json\":true,\"device\":\"COM3\"};"}, &kLinked,
     {R"({"class":"DEVICES"})", R"({"class":"WATCH","device":"COM3"})"}, true, true, false},
    {"another device, with a ; in its name", {"?WATCH={\"json\":true,\"device\":\"/dev/tty;S0\"};"}, &kLinked,
     {R"({"class":"ERROR","message~":"/dev/tty;S0"})"}, true, false, false},
    {"no JSON, a watch kept as it was", {"?WATCH={\"json\":true};", "?WATCH={\"enable\":tru};"}, &kLinked,
     {R"({"class":"DEVICES"})", R"({"class":"WATCH"})", R"({"class":"ERROR","message~":"WATCH"})"}, true, true,
     false},
    {"a member of the wrong type", {"?WATCH={\"json\":\"yes\"};?WATCH={\"raw\":3};"}, &kLinked,
     {R"({"class":"ERROR","message~":"json"})", R"({"class":"ERROR","message~":"raw"})"}, true, false, false},
    {"no object", {"?WATCH=[1,2];?WATCH=;"}, &kLinked,
     {R"({"class":"ERROR","message~":"WATCH"})", R"({"class":"ERROR","message~":"WATCH"})"}, true, false, false},
    {"deeply nested, within a command's length", {"?WATCH=" + Nested(500) + ";"}, &kLinked,
     {R"({"class":"ERROR","message~":"WATCH"})"}, true, false, false},
    {"garbage and unknown commands", {"hello\n?DEVICE;?POLL={};?poll;\x01\x7f\xff;"}, &kLinked,
     {R"({"class":"ERROR","message~":"'hello'"})", R"({"class":"ERROR","message~":"?DEVICE"})",
      R"({"class":"ERROR","message~":"?POLL={}"})", R"({"class":"ERROR","message~":"?poll"})",
      R"({"class":"ERROR","message~":"\u0001\u007f\u00ff"})"},
     true, false, false},
    {"blank commands are passed over", {";;\r\n  \t;\n"}, &kLinked, {}, true, false, false},
    {"a command of the longest length is answered", {std::string(monitor::kGpsdCommandChars, '?') + ";"}, &kLinked,
     {R"({"class":"ERROR"})"}, true, false, false},
    {"a longer one closes the client", {"?VERSION;" + kTooLong, ";?VERSION;"}, &kLinked,
     {R"({"class":"VERSION"})"}, false, false, false},
    {"no link open", {"?DEVICES;?POLL;"}, &kUnlinked,
     {R"({"class":"DEVICES","devices":[]})", R"({"class":"POLL","active":0,"tpv":[],"sky":[]})"}, true, false,
     false},
};

TEST(GpsdProtocol, AnswersEachCommandAndDecidesTheWatch) {
  ASSERT_FALSE(kTpv.empty());
  ASSERT_FALSE(kSky.empty());
  for (const Session& s : kSessions) {
    SCOPED_TRACE(s.what);
    GpsdClient client;
    std::vector<std::string> answers;
    bool open = true;
    for (const std::string& chunk : s.chunks) {
      open = client.Take(chunk.data(), static_cast<int>(chunk.size()), *s.view,
                         [&](const char* object, int length) { answers.emplace_back(object, length); });
    }
    EXPECT_EQ(open, s.open);
    EXPECT_EQ(client.WantsJson(), s.wantsJson);
    EXPECT_EQ(client.WantsNmea(), s.wantsNmea);
    ASSERT_EQ(answers.size(), s.answers.size());
    for (std::size_t i = 0; i < answers.size(); ++i) {
      ASSERT_GE(answers[i].size(), 2u);
      EXPECT_EQ(answers[i].substr(answers[i].size() - 2), "\r\n");
      const json answer = json::parse(answers[i]);
      EXPECT_TRUE(HasMembers(answer, json::parse(s.answers[i]))) << answers[i];
    }
  }
}

// POLL carries the latest reports as they are, and the greeting is VERSION.
TEST(GpsdProtocol, PollCarriesTheLatestReportsAndEveryClientIsGreeted) {
  GpsdClient client;
  std::string poll;
  client.Take("?POLL;", 6, kLinked, [&](const char* object, int length) { poll.assign(object, length); });
  const json answer = json::parse(poll);
  ASSERT_EQ(answer["tpv"].size(), 1u);
  EXPECT_EQ(answer["tpv"][0], json::parse(kTpv));
  EXPECT_EQ(answer["sky"][0], json::parse(kSky));

  char greeting[128];
  const int length = GpsdClient::Greeting(greeting, sizeof greeting);
  ASSERT_GT(length, 2);
  EXPECT_EQ(std::string(greeting + length - 2), "\r\n");
  EXPECT_EQ(json::parse(greeting)["class"], "VERSION");
  EXPECT_EQ(json::parse(greeting)["proto_major"], 3);
  EXPECT_EQ(GpsdClient::Greeting(greeting, length), 0);  // no room for its terminator
  EXPECT_EQ(greeting[0], 0);
}

}  // namespace
