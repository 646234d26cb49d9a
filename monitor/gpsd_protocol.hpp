// gpsd's client protocol (gpsd_json(5)) for one client of the shared
// receiver, apart from the sockets: what the client sends goes in as bytes,
// and what it is answered comes out as whole JSON objects.
//
// A request is "?" and a command name, then ";" or "=" and a JSON object;
// several may follow one another, and a newline ends one as ";" does. A ";"
// inside a string of the object does not end it. Answered:
//   ?WATCH={...};  DEVICES, then WATCH with the client's settings as they now
//                  are. The members the object names replace the settings;
//                  "enable" is true unless the object says otherwise, and an
//                  enabled watch that asks for no kind of report gets JSON.
//   ?WATCH;        the same without changing anything.
//   ?POLL;         POLL: the time, how many devices are active, and the
//                  latest TPV and SKY.
//   ?DEVICES;      DEVICES: the receiver's device, or none while no link is open.
//   ?VERSION;      VERSION.
// Anything else, a WATCH object that is no JSON object or has a member of
// the wrong type, and a watch of another device is answered with ERROR.
//
// The WATCH object is read by nlohmann/json (gpsd_watch.cpp, the only place
// that uses it); the rest is fixed buffers. A command is held until its end
// comes, at most kGpsdCommandChars bytes of it: a client that sends more
// without an end is to be closed. Every answer fits kGpsdReplyChars.
#pragma once

#include <type_traits>

#include "monitor/json_text.hpp"
#include "monitor/share_feed.hpp"

namespace trelvane::monitor {

constexpr int kGpsdCommandChars = 1024;
// A POLL holds a TPV and a SKY of the feed's.
constexpr int kGpsdReplyChars = 2 * kShareObjectChars + 512;
// The protocol level answered; clients check the major number.
constexpr int kGpsdProtoMajor = 3;
constexpr int kGpsdProtoMinor = 14;

// What a client's answers show of the receiver: each a zero-terminated text,
// "" (or nullptr) when there is none.
struct GpsdView {
  const char* device;     // "COM3" while a link is open
  const char* activated;  // when it was opened, ISO 8601 UTC
  const char* tpv;        // the latest TPV object, without CR LF
  const char* sky;        // the latest SKY object, without CR LF
  const char* now = "";   // the time of the answer, ISO 8601 UTC, for POLL
};

// One client's watch, as its WATCH objects set it.
struct GpsdWatch {
  bool enable = false;
  bool json = false;
  bool nmea = false;
  int raw = 0;
  bool scaled = false;
  bool timing = false;
  bool split24 = false;
  bool pps = false;
  char device[kShareDeviceChars] = {};  // "" watches every device
};

// What ParseWatch made of a WATCH object.
enum class WatchParse { kRead, kNotJson, kNotObject, kBadMember };

// Reads the JSON object `text` (`length` bytes) into `watch`: the members it
// names replace those settings, others stay; unknown members are passed
// over. On anything but kRead, `watch` is left as it was and, for
// kBadMember, `member` names the member ("enable", "device", ...).
// Never throws.
WatchParse ParseWatch(const char* text, int length, GpsdWatch& watch, const char*& member);

// Where a client's answers go: any callable taking (const char* object, int
// length), borrowed for one call of GpsdClient::Take.
class GpsdReply {
 public:
  template <class Send, class = std::enable_if_t<!std::is_same_v<std::decay_t<Send>, GpsdReply>>>
  GpsdReply(Send&& send)  // NOLINT: a lambda converts in place
      : context_(&send), call_([](void* context, const char* object, int length) {
          (*static_cast<std::remove_reference_t<Send>*>(context))(object, length);
        }) {}
  void operator()(const char* object, int length) const { call_(context_, object, length); }

 private:
  void* context_;
  void (*call_)(void* context, const char* object, int length);
};

class GpsdClient {
 public:
  // The VERSION object every client gets on connect, "\r\n"-ended and
  // zero-terminated. Its length, or 0 when it does not fit `capacity`.
  static int Greeting(char* out, int capacity);

  // The bytes the client sent. Each whole command is answered through
  // reply(const char* object, int length), each object "\r\n"-ended. False:
  // close the client (a command longer than kGpsdCommandChars without an
  // end); it stays false for this client from then on.
  bool Take(const char* bytes, int count, const GpsdView& view, GpsdReply reply);

  // The client watches and wants JSON reports, or the sentences (as "nmea",
  // or "raw": an NMEA receiver's raw data are its sentences).
  bool WantsJson() const { return watch_.enable && watch_.json; }
  bool WantsNmea() const { return watch_.enable && (watch_.nmea || watch_.raw > 0); }
  const GpsdWatch& Watch() const { return watch_; }

 private:
  static const char* Text(const char* text) { return text != nullptr ? text : ""; }

  static void WriteVersion(JsonText& json);

  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

  // The name is exactly `name`, followed by the end of the command or "=".
  static bool Named(const char* command, int length, const char* name);

  void Answer(const GpsdView& view, const GpsdReply& reply);

  // `argument`: "" for ?WATCH; "={...}" for ?WATCH={...}.
  void AnswerWatch(const GpsdView& view, const GpsdReply& reply, const char* argument, int length);

  static bool SameText(const char* a, const char* b);

  // The receiver's device as a DEVICE object; nothing while no link is open.
  static void WriteDevice(JsonText& json, const GpsdView& view);

  void AnswerDevices(const GpsdView& view, const GpsdReply& reply);

  void AnswerPoll(const GpsdView& view, const GpsdReply& reply);

  // ERROR: `message`, with at most 40 bytes of `quoted` (`length` bytes,
  // zeros and all) in quotes after it when there is something to quote.
  void Error(const GpsdReply& reply, const char* message, const char* quoted = "", int length = 0);

  // The length of a zero-terminated text, at most `limit`.
  static int Bounded(const char* text, int limit);

  void Send(const GpsdReply& reply, JsonText& json);

  char command_[kGpsdCommandChars];
  int length_ = 0;
  bool inString_ = false;  // inside a string of the command's object
  bool escaped_ = false;   // just after a backslash in that string
  bool closed_ = false;
  GpsdWatch watch_;
  char reply_[kGpsdReplyChars];
};

}  // namespace trelvane::monitor
