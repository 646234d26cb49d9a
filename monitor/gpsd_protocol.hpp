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

class GpsdClient {
 public:
  // The VERSION object every client gets on connect, "\r\n"-ended and
  // zero-terminated. Its length, or 0 when it does not fit `capacity`.
  static int Greeting(char* out, int capacity) {
    JsonText json(out, capacity);
    WriteVersion(json);
    return json.Finish();
  }

  // The bytes the client sent. Each whole command is answered through
  // reply(const char* object, int length), each object "\r\n"-ended. False:
  // close the client (a command longer than kGpsdCommandChars without an
  // end); it stays false for this client from then on.
  template <class Reply>
  bool Take(const char* bytes, int count, const GpsdView& view, Reply reply) {
    if (closed_) return false;
    for (int i = 0; i < count; ++i) {
      const char c = bytes[i];
      if (c == '\n' || (c == ';' && !inString_)) {
        Answer(view, reply);
        length_ = 0;
        inString_ = escaped_ = false;
        continue;
      }
      if (length_ == kGpsdCommandChars) {
        closed_ = true;
        return false;
      }
      if (inString_) {
        if (escaped_) {
          escaped_ = false;
        } else if (c == '\\') {
          escaped_ = true;
        } else if (c == '"') {
          inString_ = false;
        }
      } else if (c == '"') {
        inString_ = true;
      }
      command_[length_++] = c;
    }
    return true;
  }

  // The client watches and wants JSON reports, or the sentences (as "nmea",
  // or "raw": an NMEA receiver's raw data are its sentences).
  bool WantsJson() const { return watch_.enable && watch_.json; }
  bool WantsNmea() const { return watch_.enable && (watch_.nmea || watch_.raw > 0); }
  const GpsdWatch& Watch() const { return watch_; }

 private:
  static const char* Text(const char* text) { return text != nullptr ? text : ""; }

  static void WriteVersion(JsonText& json) {
    json.Raw("{\"class\":\"VERSION\",\"release\":\"trelvane\",\"rev\":\"share\",\"proto_major\":");
    json.Int(kGpsdProtoMajor);
    json.Raw(",\"proto_minor\":");
    json.Int(kGpsdProtoMinor);
    json.Raw("}\r\n");
  }

  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

  // The name is exactly `name`, followed by the end of the command or "=".
  static bool Named(const char* command, int length, const char* name) {
    int n = 0;
    for (; name[n] != 0; ++n) {
      if (n == length || command[n] != name[n]) return false;
    }
    return n == length || command[n] == '=';
  }

  template <class Reply>
  void Answer(const GpsdView& view, Reply& reply) {
    int begin = 0, end = length_;
    while (begin < end && IsBlank(command_[begin])) ++begin;
    while (end > begin && IsBlank(command_[end - 1])) --end;
    if (begin == end) return;  // the ";" or newline after a command
    if (command_[begin] != '?') return Error(reply, "Unrecognized request", command_ + begin, end - begin);
    const char* command = command_ + begin + 1;  // after the "?"
    const int length = end - begin - 1;
    if (Named(command, length, "WATCH")) return AnswerWatch(view, reply, command + 5, length - 5);
    // The other commands take no object: the name is the whole command.
    if (length == 4 && Named(command, length, "POLL")) return AnswerPoll(view, reply);
    if (length == 7 && Named(command, length, "DEVICES")) return AnswerDevices(view, reply);
    if (length == 7 && Named(command, length, "VERSION")) {
      JsonText json(reply_, kGpsdReplyChars);
      WriteVersion(json);
      return Send(reply, json);
    }
    Error(reply, "Unrecognized request", command_ + begin, end - begin);
  }

  // `argument`: "" for ?WATCH; "={...}" for ?WATCH={...}.
  template <class Reply>
  void AnswerWatch(const GpsdView& view, Reply& reply, const char* argument, int length) {
    if (length > 0) {
      GpsdWatch next = watch_;
      next.enable = true;
      const char* member = "";
      switch (ParseWatch(argument + 1, length - 1, next, member)) {
        case WatchParse::kRead: break;
        case WatchParse::kNotJson: return Error(reply, "Invalid WATCH: not JSON");
        case WatchParse::kNotObject: return Error(reply, "Invalid WATCH: not an object");
        case WatchParse::kBadMember:
          return Error(reply, "Invalid WATCH: wrong type of", member, Bounded(member, kShareDeviceChars));
      }
      if (next.device[0] != 0 && !SameText(next.device, Text(view.device))) {
        return Error(reply, "No such device", next.device, Bounded(next.device, kShareDeviceChars));
      }
      if (next.enable && !next.json && !next.nmea && next.raw == 0) next.json = true;
      watch_ = next;
    }
    AnswerDevices(view, reply);
    JsonText json(reply_, kGpsdReplyChars);
    json.Raw("{\"class\":\"WATCH\"");
    const struct {
      const char* key;
      bool value;
    } flags[] = {{"enable", watch_.enable}, {"json", watch_.json},       {"nmea", watch_.nmea},
                 {"scaled", watch_.scaled}, {"timing", watch_.timing},   {"split24", watch_.split24},
                 {"pps", watch_.pps}};
    for (const auto& flag : flags) {
      json.Key(flag.key);
      json.Bool(flag.value);
    }
    json.Key("raw");
    json.Int(watch_.raw);
    if (watch_.device[0] != 0) {
      json.Key("device");
      json.String(watch_.device, kShareDeviceChars);
    }
    json.Raw("}\r\n");
    Send(reply, json);
  }

  static bool SameText(const char* a, const char* b) {
    int n = 0;
    for (; n < kShareDeviceChars && a[n] != 0 && a[n] == b[n]; ++n) {
    }
    return n == kShareDeviceChars || a[n] == b[n];
  }

  // The receiver's device as a DEVICE object; nothing while no link is open.
  static void WriteDevice(JsonText& json, const GpsdView& view) {
    if (Text(view.device)[0] == 0) return;
    json.Raw("{\"class\":\"DEVICE\",\"path\":");
    json.String(view.device, kShareDeviceChars);
    json.Raw(",\"driver\":\"NMEA0183\"");
    if (Text(view.activated)[0] != 0) {
      json.Key("activated");
      json.String(view.activated, kShareDeviceChars);
    }
    json.Raw(",\"flags\":1,\"native\":0}");
  }

  template <class Reply>
  void AnswerDevices(const GpsdView& view, Reply& reply) {
    JsonText json(reply_, kGpsdReplyChars);
    json.Raw("{\"class\":\"DEVICES\",\"devices\":[");
    WriteDevice(json, view);
    json.Raw("]}\r\n");
    Send(reply, json);
  }

  template <class Reply>
  void AnswerPoll(const GpsdView& view, Reply& reply) {
    JsonText json(reply_, kGpsdReplyChars);
    json.Raw("{\"class\":\"POLL\"");
    if (Text(view.now)[0] != 0) {
      json.Key("time");
      json.String(view.now, kShareDeviceChars);
    }
    json.Key("active");
    json.Int(Text(view.device)[0] != 0 ? 1 : 0);
    json.Key("tpv");
    json.Raw("[");
    json.Raw(Text(view.tpv));
    json.Raw("]");
    json.Key("sky");
    json.Raw("[");
    json.Raw(Text(view.sky));
    json.Raw("]}\r\n");
    if (json.Spoiled()) return Error(reply, "POLL too long to answer");
    Send(reply, json);
  }

  // ERROR: `message`, with at most 40 bytes of `quoted` (`length` bytes,
  // zeros and all) in quotes after it when there is something to quote.
  template <class Reply>
  void Error(Reply& reply, const char* message, const char* quoted = "", int length = 0) {
    constexpr int kQuotedChars = 40;
    JsonText json(reply_, kGpsdReplyChars);
    json.Raw("{\"class\":\"ERROR\",\"message\":\"");
    json.Raw(message);
    if (length > 0) {
      json.Raw(" '");
      json.Escaped(quoted, length < kQuotedChars ? length : kQuotedChars);
      json.Raw("'");
    }
    json.Raw("\"}\r\n");
    Send(reply, json);
  }

  // The length of a zero-terminated text, at most `limit`.
  static int Bounded(const char* text, int limit) {
    int n = 0;
    while (n < limit && text[n] != 0) ++n;
    return n;
  }

  template <class Reply>
  void Send(Reply& reply, JsonText& json) {
    const int length = json.Finish();
    if (length != 0) reply(static_cast<const char*>(reply_), length);
  }

  char command_[kGpsdCommandChars];
  int length_ = 0;
  bool inString_ = false;  // inside a string of the command's object
  bool escaped_ = false;   // just after a backslash in that string
  bool closed_ = false;
  GpsdWatch watch_;
  char reply_[kGpsdReplyChars];
};

}  // namespace trelvane::monitor
