// The monitor session: what both monitors do with the link between the
// reader and the screen, written once. It takes what happens (a line with
// its length, a binary frame, a link opened or closed, a clock tick, a
// command or a choice from a page) and answers a mask of what changed, so
// that a main window only routes: it turns its messages into calls here and
// updates what the answered mask names.
//
// It owns the sentence intake, what is known of the receiver (its family,
// its name, Identify, the acknowledgements), the link's health and the fixes
// the accuracy page scatters, and it decides the data's age. What the pages show stays theirs: the readout, the
// satellite table and the age are the information page's, and the session
// is the only one that writes them. The log pane is the Setup page's.
//
// One template on the character type: char for the desktop (code page 950
// bytes), a UTF-16 unit for the handheld. Times are milliseconds of the
// system's 32-bit tick; differences are taken modulo 2^32.
#pragma once

#include <cstdint>

#include "link/line_batch.hpp"
#include "link/link_health.hpp"
#include "link/reader_counts.hpp"
#include "monitor/accuracy.hpp"
#include "monitor/data_age.hpp"
#include "monitor/log_route.hpp"
#include "monitor/scatter_raster.hpp"
#include "monitor/share_feed.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/sentence_intake.hpp"
#include "nmea/sinks.hpp"
#include "nmea/text.hpp"
#include "receiver/receiver_family.hpp"
#include "receiver/receiver_session.hpp"

namespace trelvane::monitor {

// What differs between the two monitors beyond the decoders' own policy.
template <class Ch>
struct MonitorBuild {
  using Intake = nmea::HandheldBuild<Ch>;
  static constexpr link::EchoStyle kEcho = link::EchoStyle::kHandheld;
  // The handheld's pages have no room for the receiver's name: it goes into
  // the log as a line.
  static constexpr bool kNameInLog = true;
};

template <>
struct MonitorBuild<char> {
  using Intake = nmea::DesktopBuild;
  static constexpr link::EchoStyle kEcho = link::EchoStyle::kDesktop;
  static constexpr bool kNameInLog = false;
};

// What a call changed; the main window updates what is named.
enum Change : unsigned {
  kNothing = 0,
  kAccepted = 1u << 0,  // the line passed its checksum (the reader's message answers with it)
  kPage = 1u << 1,      // the readout or the sky changed: the information page repaints
  kLogNow = 1u << 2,    // a note went into the log that shows at once (an echo, Identify)
  kHealth = 1u << 3,    // the link's state or counts changed
  kName = 1u << 4,      // the receiver's name changed
  kFamily = 1u << 5,    // the family in force changed: the command controls follow it
  kAge = 1u << 6,       // the data's age changed what the page shows
  kListen = 1u << 7,    // Identify listens: EndIdentify is due link::kIdentifyListenMs from now
  kAccuracy = 1u << 8,  // the accuracy figures were worked out anew: the accuracy page shows them
};

template <class Ch>
class MonitorSession {
 public:
  using Build = MonitorBuild<Ch>;
  using IntakeBuild = typename Build::Intake;
  using Readout = typename IntakeBuild::Readout;
  using IntakeType = nmea::SentenceIntake<IntakeBuild>;

  MonitorSession(nmea::LogPane<Ch>& log, Readout& readout, nmea::SatelliteTable<Ch>& satellites, DataAge& age)
      : log_(log),
        age_(age),
        readout_(readout),
        satellites_(satellites),
        intake_(log_, readout, satellites, nmea::RepaintCallback{&NoteRepaint, this}) {}
  MonitorSession(const MonitorSession&) = delete;
  MonitorSession& operator=(const MonitorSession&) = delete;

  // A link was opened at `now`: whatever receiver is behind it now starts
  // afresh (its family and name, the all-systems view), the health counts
  // from zero and the page from here counts silence.
  unsigned LinkOpened(std::uint32_t now) {
    intake_.ResetTalkers();
    health_.Open(now);
    fixes_.Forget();
    const unsigned age = age_.LinkOpened(now) ? kAge : kNothing;
    return ReceiverChange(receiver_.Forget()) | age | kPage | kHealth | UpdateFigures();
  }

  // A recording starts to play at `now`, in place of a link: the page shows
  // only what the file holds (it starts empty, the receiver unknown, the
  // fixes forgotten), the health reads "Playing" and the data's age does not
  // count. PlaybackClosed is LinkClosed.
  unsigned PlaybackOpened(std::uint32_t now) {
    ClearPage();
    health_.Open(now, true);
    const unsigned age = age_.PlaybackOpened() ? kAge : kNothing;
    return ReceiverChange(receiver_.Forget()) | age | kPage | kHealth | UpdateFigures();
  }

  // A seek: the page goes back to where the file started and the bytes up to
  // the new place are fed again; the log pane meanwhile is a copy, which
  // EndReplay puts into the window's pane at once. Nothing replayed is
  // shared.
  void BeginReplay() {
    ClearPage();
    ReceiverChange(receiver_.Forget());
    log_.BeginReplay();
  }
  unsigned EndReplay() {
    log_.EndReplay();
    return kPage | kLogNow | kName | kFamily | UpdateFigures();
  }
  bool Replaying() const { return log_.Replaying(); }

  // A line of the monitor's own (the recorder's) into the log, at once.
  unsigned Note(const Ch* text) {
    log_.ReplaceSelection(text);
    return kLogNow;
  }

  // The link was closed: the page keeps its data, grey.
  unsigned LinkClosed() {
    health_.Close();
    const unsigned figures = fixesChanged_ ? UpdateFigures() : kNothing;
    return (age_.LinkClosed() ? kAge : kNothing) | kHealth | figures;
  }

  // One line alone, zero-terminated (the reader's single-line message).
  unsigned TakeLine(const Ch* line, std::uint32_t now) {
    return TakeLine(line, TextLength(line, link::kLineBufferChars), now);
  }

  // One whole line as the reader cut it: `length` units, CR LF kept, a zero
  // after them. The receiver's family is read from it, the intake checks and
  // decodes it, and an accepted one makes the data young again.
  unsigned TakeLine(const Ch* line, int length, std::uint32_t now) {
    unsigned change = ReceiverChange(receiver_.OnLine(line, length));
    repaint_ = false;
    const int accepted = intake_.HandleSentence(line, length);
    if (repaint_) change |= kPage;
    if (accepted == 0) {
      health_.CountRejected();
      return change;
    }
    if (age_.SentenceAccepted(now)) change |= kAge;
    if (health_.CountAccepted(now)) change |= kHealth;
    TakeFix();
    if constexpr (sizeof(Ch) == 1) {
      if (share_ != nullptr && !log_.Replaying()) share_->Accepted(line, length, intake_);
    }
    return change | kAccepted;
  }

  // One binary frame as the stream lexer found it.
  unsigned TakeFrame(const unsigned char* frame, int length) {
    return ReceiverChange(receiver_.OnFrame(frame, length, log_));
  }

  // The lines and frames of one batch in order, until its link is found
  // closed; `accepted` counts the lines that passed.
  unsigned TakeBatch(const link::LineBatch<Ch>& batch, std::uint32_t now, int& accepted) {
    unsigned change = kNothing;
    accepted = 0;
    link::DeliverBatch(
        batch,
        [&](const Ch* line, int length) {
          const unsigned taken = TakeLine(line, length, now);
          accepted += (taken & kAccepted) != 0 ? 1 : 0;
          change |= taken;
        },
        [&](const unsigned char* frame, int length) { change |= TakeFrame(frame, length); });
    return change & ~kAccepted;
  }

  // The clock, once a second while a link is open, with the reader's totals.
  // The accuracy figures are worked out here, at most once a second, and
  // only when the fixes changed.
  unsigned Tick(std::uint32_t now, const link::LinkCounts& counts) {
    health_.Sample(now, counts.bytes, counts.linesCut);
    const unsigned figures = fixesChanged_ ? UpdateFigures() : kNothing;
    return (age_.Tick(now) ? kAge : kNothing) | kHealth | figures;
  }

  // Accepted sentences go on to `feed` too (the desktop's shared receiver),
  // or to nothing.
  void ShareTo(ShareFeed* feed) { share_ = feed; }

  // The accuracy page's Reset: the fixes go, the last GST stays.
  unsigned ResetFixes() {
    fixes_.Reset();
    return UpdateFigures();
  }

  // The accuracy page's Hold Centre, checked or not.
  unsigned HoldCentre(bool hold) {
    fixes_.HoldCentre(hold);
    return UpdateFigures();
  }

  // Works the figures out now from the fixes kept.
  unsigned UpdateFigures() {
    fixes_.Compute(figures_);
    fixesChanged_ = false;
    return kAccuracy;
  }

  // A request from a page or the handheld's Receiver menu (the messages
  // link::IsReceiverMessage names): a family chosen (`value` its index),
  // Identify, or one of the seven commands. `result` is the message's answer.
  unsigned Request(unsigned message, int value, link::SentenceWriter<Ch>& link, int& result) {
    result = 1;
    if (message == link::kMsgChooseFamily) return Choose(value);
    if (message == link::kMsgIdentify) return StartIdentify(link);
    return Command(message, link, result);
  }

  // One of the seven commands, in the family in force: its echo, then its
  // bytes on `link`. `result` is 1, or 0 when the family has no such command.
  unsigned Command(unsigned message, link::SentenceWriter<Ch>& link, int& result) {
    result = link::SendFamilyCommand(receiver_.InForce(), message, Build::kEcho, log_, link);
    return kLogNow;
  }

  // The family list's selection (or the handheld's Receiver menu) changed.
  unsigned Choose(int index) { return ReceiverChange(receiver_.Choose(index)); }

  // Identify: every family's query goes out on `link`; the window times
  // the listening (kListen) and ends it with EndIdentify.
  unsigned StartIdentify(link::SentenceWriter<Ch>& link) {
    receiver_.StartIdentify(log_, link);
    return kLogNow | kListen;
  }

  // The listening time is over: the name as it now is goes into the log.
  unsigned EndIdentify() {
    const unsigned name = receiver_.EndIdentify(log_);
    // The log has the name already; nothing is to be logged twice.
    return kLogNow | ((name & ReceiverSession::kNameChanged) != 0 ? kName : kNothing);
  }

  link::Family Chosen() const { return receiver_.Chosen(); }
  link::Family InForce() const { return receiver_.InForce(); }
  const char* ReceiverName() const { return receiver_.Name(); }
  // The all-systems view and whether the receiver has shown more than GPS.
  const IntakeType& Intake() const { return intake_; }
  // The fixes kept, and the figures as last worked out.
  const FixRecord& Fixes() const { return fixes_; }
  const AccuracyFigures& Figures() const { return figures_; }
  // What the accuracy page draws of the figures as last worked out, for a
  // plot `size` pixels square with dots `dot` wide (made when asked: after
  // kAccuracy).
  const ScatterFrame& Scatter(int size, int dot) {
    FrameScatter(fixes_, figures_, size, dot, scatter_);
    return scatter_;
  }

  // The link's state ("Receiving", ...) and counts, as the Setup pages show them.
  void HealthState(Ch* text, int capacity) const { health_.StateText(text, capacity); }
  void HealthCounts(Ch* text, int capacity) const { health_.CountsText(text, capacity); }

 private:
  using ReceiverSession = link::ReceiverSession<Ch>;

  static void NoteRepaint(void* self) { static_cast<MonitorSession*>(self)->repaint_ = true; }

  // The page as before any data: empty texts, no satellites, no talker seen,
  // no fixes.
  void ClearPage() {
    static const Ch kEmpty[] = {Ch(0)};
    for (int field = 0; field < nmea::kReadoutFieldCount; ++field) {
      IntakeBuild::SetText(readout_, static_cast<nmea::ReadoutField>(field), kEmpty);
    }
    satellites_ = nmea::SatelliteTable<Ch>{};
    intake_.ResetTalkers();
    fixes_.Forget();
    fixesChanged_ = false;
  }

  // A fix, or the receiver's own error estimate, from the line just accepted.
  void TakeFix() {
    switch (intake_.lastFix()) {
      case nmea::FixSentence::kGga:
        fixesChanged_ = fixes_.TakeGga(intake_.gga()) || fixesChanged_;
        break;
      case nmea::FixSentence::kRmc:
        fixesChanged_ = fixes_.TakeRmc(intake_.rmcFix()) || fixesChanged_;
        break;
      case nmea::FixSentence::kGst:
        fixes_.TakeGst(intake_.gst());
        fixesChanged_ = true;
        break;
      case nmea::FixSentence::kNone:
        break;
    }
  }

  // The receiver session's answer as changes; where the name goes into the
  // log, a new one is logged here.
  unsigned ReceiverChange(unsigned receiver) {
    unsigned change = kNothing;
    if ((receiver & ReceiverSession::kFamilyChanged) != 0) change |= kFamily;
    if ((receiver & ReceiverSession::kNameChanged) == 0) return change;
    if (Build::kNameInLog && receiver_.Name()[0] != 0) receiver_.LogName(log_);
    return change | kName;
  }

  LogRoute<Ch> log_;
  DataAge& age_;
  Readout& readout_;
  nmea::SatelliteTable<Ch>& satellites_;
  IntakeType intake_;
  ReceiverSession receiver_;
  link::LinkHealth health_;
  bool repaint_ = false;  // the intake asked for the page to be repainted
  FixRecord fixes_;
  AccuracyFigures figures_;
  ScatterFrame scatter_;  // its raster is allocated the first time it is asked for
  bool fixesChanged_ = false;  // since the figures were last worked out
  ShareFeed* share_ = nullptr;
};

}  // namespace trelvane::monitor
