// The seven receiver commands: each private message the Setup page sends or
// posts, the sentence it puts on the line (checksum already written in), and
// the note echoed into the log pane before the sentence is written.
//
// The receiver is never asked for an answer: "...OK" is logged before the
// bytes leave, whatever becomes of them.
#pragma once

#include "nmea/sinks.hpp"
#include "receiver/link_settings.hpp"

namespace trelvane::receiver {

struct ReceiverCommand {
  unsigned message;
  const char* sentence;  // ASCII; written with CR LF appended
};

constexpr int kReceiverCommandCount = 7;
constexpr ReceiverCommand kReceiverCommands[kReceiverCommandCount] = {
    {kMsgPowerSaveOn, "$PSRF150,0,300,1000,1*10"},
    {kMsgPowerSaveOff, "$PSRF150,0,1000,1000,0*23"},
    {kMsgWaasOn, "$PSRF151,01*0F"},
    {kMsgWaasOff, "$PSRF151,00*0E"},
    {kMsgVtgOn, "$PSRF103,05,00,01,01*20"},
    {kMsgVtgOff, "$PSRF103,05,00,00,01*21"},
    {kMsgColdStart, "$PSRF104,0,0,0,96000,237759,1946,12,4*1D"},
};

// The row for `message`, or nullptr when it is not a command message.
inline const ReceiverCommand* FindReceiverCommand(unsigned message) {
  for (const ReceiverCommand& command : kReceiverCommands) {
    if (command.message == message) return &command;
  }
  return nullptr;
}

// The three receiver switches (VTG, power save, WAAS/EGNOS): the message a
// Setup page posts when one is turned on, and when it is turned off.
constexpr int kSwitchCount = 3;
constexpr unsigned kSwitchOn[kSwitchCount] = {kMsgVtgOn, kMsgPowerSaveOn, kMsgWaasOn};
constexpr unsigned kSwitchOff[kSwitchCount] = {kMsgVtgOff, kMsgPowerSaveOff, kMsgWaasOff};

// The messages the main window hands to the receiver's side of the monitor:
// the seven commands, the family list's choice and Identify.
inline bool IsReceiverMessage(unsigned message) {
  return FindReceiverCommand(message) != nullptr || message == kMsgChooseFamily || message == kMsgIdentify;
}

// The two builds word the echo of the power-save commands differently.
enum class EchoStyle { kDesktop, kHandheld };

// Both builds compose the echo in a zero-filled buffer of this many units.
constexpr int kEchoChars = 256;

// Composes the note for `message`: the prefix, CR LF, "...OK", CR LF.
template <class Ch>
void ComposeEcho(EchoStyle style, unsigned message, Ch (&echo)[kEchoChars]) {
  for (Ch& unit : echo) unit = Ch(0);
  const bool powerSave = message == kMsgPowerSaveOn || message == kMsgPowerSaveOff;
  const char* text = (style == EchoStyle::kDesktop && powerSave) ? "$PSRF..\r\n...OK\r\n" : "$PSRF\r\n...OK\r\n";
  for (int n = 0; text[n] != 0 && n < kEchoChars - 1; ++n) echo[n] = Ch(static_cast<unsigned char>(text[n]));
}

// The link's write operations as the command handler uses them: a text
// without line end, to which the link appends CR LF, or bytes written as they
// stand (a binary frame). Both return 1 whatever became of the bytes.
template <class Ch>
class SentenceWriter {
 public:
  virtual int WriteSentence(const Ch* text) = 0;
  virtual int WriteBytes(const unsigned char* bytes, int length) = 0;

 protected:
  ~SentenceWriter() = default;
};

// Longest command sentence plus its terminator, in units.
constexpr int kCommandTextChars = 64;

// Handles one command message on the main window's thread: echo first, then
// the write; the write's result (1) is the message's result.
template <class Ch>
int SendReceiverCommand(const ReceiverCommand& command, EchoStyle style, nmea::LogPane<Ch>& log,
                        SentenceWriter<Ch>& link) {
  Ch echo[kEchoChars];
  ComposeEcho(style, command.message, echo);
  log.ReplaceSelection(echo);

  Ch text[kCommandTextChars] = {};
  for (int n = 0; command.sentence[n] != 0 && n < kCommandTextChars - 1; ++n) {
    text[n] = Ch(static_cast<unsigned char>(command.sentence[n]));
  }
  return link.WriteSentence(text);
}

}  // namespace trelvane::receiver
