// gpsd's client protocol for one client of the shared receiver: what the
// bytes a client sends are answered with, and what they decide (the watch,
// which reports, closing). The expectations are gpsd_json(5)'s: each
// answer's class and the members a request decides.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "monitor/gpsd_protocol.hpp"
#include "tests/native/monitor/json_members.hpp"

namespace {

using namespace trelvane;
using monitor::GpsdClient;
using monitor::GpsdView;
using nlohmann::json;

const char kTpv[] = R"({"class":"TPV","mode":3})";
const GpsdView kLinked{"COM3", "2024-05-01T10:00:00.000Z", kTpv, "{\"class\":\"SKY\"}", "2024-05-01T10:00:05Z"};
const GpsdView kUnlinked{"", "", "", "", ""};
const char kWatch[] = R"({"class":"WATCH"})", kDevices[] = R"({"class":"DEVICES"})";

// The chunks one client sends in order; each answer's members (HasMembers);
// and whether the client stays open, wants JSON, wants sentences.
const struct {
  const char* what;
  std::vector<std::string> chunks;
  const GpsdView* view;
  std::vector<const char*> answers;
  bool open, wantsJson, wantsNmea;
} kSessions[] = {
    {"gpspipe -w's watch", {"?WATCH={\"enable\":true,\"json\":true};"}, &kLinked,
     {R"({"class":"DEVICES","devices":[{"class":"DEVICE","path":"COM3","driver":"NMEA0183",)"
      R"("activated":"2024-05-01T10:00:00.000Z","flags":1,"native":0}]})",
      R"({"class":"WATCH","enable":true,"json":true,"nmea":false,"raw":0})"},
     true, true, false},
    {"split across reads, ended by CR LF", {"?WA", "TCH={\"enable\":tr", "ue,\"nmea\":true}", "\r", "\n"}, &kLinked,
     {kDevices, R"({"class":"WATCH","enable":true,"json":false,"nmea":true})"}, true, false, true},
    {"several in one read", {"?VERSION;?DEVICES;\n?POLL;"}, &kLinked,
     {R"({"class":"VERSION","proto_major":3})", kDevices,
      R"({"class":"POLL","time":"2024-05-01T10:00:05Z","active":1,"tpv":[{"class":"TPV","mode":3}],)"
      R"("sky":[{"class":"SKY"}]})"},
     true, false, false},
    {"watching, then not; ?WATCH; shows it", {"?WATCH={\"enable\":true};?WATCH={\"enable\":false};?WATCH;"},
     &kLinked,
     {kDevices, R"({"class":"WATCH","enable":true,"json":true})", kDevices, kWatch, kDevices,
      R"({"class":"WATCH","enable":false,"json":true})"},
     true, false, false},
    {"raw data of an NMEA receiver are its sentences; its own device", {"?WATCH={\"raw\":1,\"device\":\"COM3\"};"},
     &kLinked, {kDevices, R"({"class":"WATCH","raw":1,"json":false,"device":"COM3"})"}, true, false, true},
    {"malformed watches leave the watch as it was",
     {"?WATCH={\"json\":true};?WATCH={\"enable\":tru};?WATCH={\"nmea\":\"yes\"};?WATCH={\"raw\":3};?WATCH=[1];",
      "?WATCH=;?WATCH={\"device\":\"/dev/tty;S0\"};?WATCH=" + std::string(500, '[') + std::string(500, ']') + ";"},
     &kLinked,
     {kDevices, kWatch, R"({"class":"ERROR","message~":"WATCH"})", R"({"class":"ERROR","message~":"nmea"})",
      R"({"class":"ERROR","message~":"raw"})", R"({"class":"ERROR","message~":"object"})",
      R"({"class":"ERROR","message~":"JSON"})", R"({"class":"ERROR","message~":"'/dev/tty;S0'"})",
      R"({"class":"ERROR","message~":"object"})"},
     true, true, false},
    {"garbage, unknown commands, blank ones", {"hello\n?DEVICE;?POLL={};;\r\n \t;?poll;\x01\x7f\xff;"}, &kLinked,
     {R"({"class":"ERROR","message~":"'hello'"})", R"({"message~":"'?DEVICE'"})", R"({"message~":"'?POLL={}'"})",
      R"({"message~":"'?poll'"})", R"({"message~":"'\u0001\u007f\u00ff'"})"},
     true, false, false},
    {"the longest command is answered", {std::string(monitor::kGpsdCommandChars, '?') + ";"}, &kLinked,
     {R"({"class":"ERROR"})"}, true, false, false},
    {"a longer one closes the client, for good",
     {"?VERSION;" + std::string(monitor::kGpsdCommandChars + 1, 'x'), ";?VERSION;"}, &kLinked,
     {R"({"class":"VERSION"})"}, false, false, false},
    {"no link open", {"?DEVICES;?POLL;"}, &kUnlinked,
     {R"({"class":"DEVICES","devices":[]})", R"({"class":"POLL","active":0,"tpv":[],"sky":[],"!time":0})"}, true,
     false, false},
};

TEST(GpsdProtocol, AnswersEachCommandAndDecidesTheWatch) {
  for (const auto& s : kSessions) {
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
      EXPECT_EQ(answers[i].substr(answers[i].size() - 2), "\r\n");
      EXPECT_TRUE(trelvane::testing::HasMembers(json::parse(answers[i]), json::parse(s.answers[i]))) << answers[i];
    }
  }
}

TEST(GpsdProtocol, EveryClientIsGreeted) {
  char greeting[128];
  const int length = GpsdClient::Greeting(greeting, sizeof greeting);
  ASSERT_GT(length, 2);
  EXPECT_EQ(std::string(greeting + length - 2), "\r\n");
  EXPECT_TRUE(trelvane::testing::HasMembers(json::parse(greeting), {{"class", "VERSION"}, {"proto_major", 3}}));
  EXPECT_EQ(GpsdClient::Greeting(greeting, length), 0);  // no room for its terminator
}

}  // namespace
