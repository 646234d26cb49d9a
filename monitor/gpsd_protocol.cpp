#include "monitor/gpsd_protocol.hpp"

namespace trelvane::monitor {

int GpsdClient::Greeting(char* out, int capacity) {
  JsonText json(out, capacity);
  WriteVersion(json);
  return json.Finish();
}

bool GpsdClient::Take(const char* bytes, int count, const GpsdView& view, GpsdReply reply) {
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

void GpsdClient::WriteVersion(JsonText& json) {
  json.Raw("{\"class\":\"VERSION\",\"release\":\"trelvane\",\"rev\":\"share\",\"proto_major\":");
  json.Int(kGpsdProtoMajor);
  json.Raw(",\"proto_minor\":");
  json.Int(kGpsdProtoMinor);
  json.Raw("}\r\n");
}

bool GpsdClient::Named(const char* command, int length, const char* name) {
  int n = 0;
  for (; name[n] != 0; ++n) {
    if (n == length || command[n] != name[n]) return false;
  }
  return n == length || command[n] == '=';
}

void GpsdClient::Answer(const GpsdView& view, const GpsdReply& reply) {
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

void GpsdClient::AnswerWatch(const GpsdView& view, const GpsdReply& reply, const char* argument, int length) {
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

bool GpsdClient::SameText(const char* a, const char* b) {
  int n = 0;
  for (; n < kShareDeviceChars && a[n] != 0 && a[n] == b[n]; ++n) {
  }
  return n == kShareDeviceChars || a[n] == b[n];
}

void GpsdClient::WriteDevice(JsonText& json, const GpsdView& view) {
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

void GpsdClient::AnswerDevices(const GpsdView& view, const GpsdReply& reply) {
  JsonText json(reply_, kGpsdReplyChars);
  json.Raw("{\"class\":\"DEVICES\",\"devices\":[");
  WriteDevice(json, view);
  json.Raw("]}\r\n");
  Send(reply, json);
}

void GpsdClient::AnswerPoll(const GpsdView& view, const GpsdReply& reply) {
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

void GpsdClient::Error(const GpsdReply& reply, const char* message, const char* quoted, int length) {
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

int GpsdClient::Bounded(const char* text, int limit) {
  int n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

void GpsdClient::Send(const GpsdReply& reply, JsonText& json) {
  const int length = json.Finish();
  if (length != 0) reply(static_cast<const char*>(reply_), length);
}

}  // namespace trelvane::monitor
