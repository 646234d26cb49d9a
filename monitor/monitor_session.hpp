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
#include <cstdio>
#include <cstring>
#include <vector>

#include "link/line_batch.hpp"
#include "link/link_health.hpp"
#include "link/reader_counts.hpp"
#include "monitor/accuracy.hpp"
#include "monitor/clock_offset.hpp"
#include "monitor/data_age.hpp"
#include "monitor/file_clock.hpp"
#include "monitor/first_fix.hpp"
#include "monitor/history.hpp"
#include "monitor/fix_pace.hpp"
#include "monitor/log_route.hpp"
#include "monitor/page_fingerprint.hpp"
#include "monitor/rate_follow.hpp"
#include "monitor/sentence_health.hpp"
#include "monitor/scatter_raster.hpp"
#include "monitor/share_feed.hpp"
#include "nmea/build_policy.hpp"
#include "nmea/satellite_table.hpp"
#include "nmea/sentence_intake.hpp"
#include "nmea/sinks.hpp"
#include "nmea/text.hpp"
#include "receiver/rate_commands.hpp"
#include "receiver/receiver_family.hpp"
#include "receiver/receiver_session.hpp"

namespace trelvane::monitor {

// What differs between the two monitors beyond the decoders' own policy.
template <class Ch>
struct MonitorBuild {
  using Intake = nmea::HandheldBuild<Ch>;
  static constexpr receiver::EchoStyle kEcho = receiver::EchoStyle::kHandheld;
  // The handheld's pages have no room for the receiver's name: it goes into
  // the log as a line.
  static constexpr bool kNameInLog = true;
  // No position bar, and a readout that is the page's own controls: the
  // handheld keeps no points of a recording to seek from.
  static constexpr bool kKeepsPoints = false;
};

template <>
struct MonitorBuild<char> {
  using Intake = nmea::DesktopBuild;
  static constexpr receiver::EchoStyle kEcho = receiver::EchoStyle::kDesktop;
  static constexpr bool kNameInLog = false;
  static constexpr bool kKeepsPoints = true;
};

// A note naming a file's path or a source's address.
constexpr int kNoteChars = 320;

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
  kListen = 1u << 7,    // Identify listens: EndIdentify is due receiver::kIdentifyListenMs from now
  kAccuracy = 1u << 8,  // the accuracy figures were worked out anew: the accuracy page shows them
  kPace = 1u << 9,      // the receiver's fix period changed: the age is checked every AgeTickMs()
  kRate = 1u << 10,     // a port-rate change moves on: the port goes to PortBaud(), and
                        // FollowRate is due RateWakeMs() from now
};

template <class Ch>
class MonitorSession {
 public:
  using Build = MonitorBuild<Ch>;
  using IntakeBuild = typename Build::Intake;
  using Readout = typename IntakeBuild::Readout;
  using IntakeType = nmea::SentenceIntake<IntakeBuild>;
  using ReceiverSession = receiver::ReceiverSession<Ch>;

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
  // `baud` is the port's rate.
  unsigned LinkOpened(std::uint32_t now, unsigned long baud = 0) {
    intake_.ResetTalkers();
    if (history_ != nullptr) history_->Clear();
    health_.Open(now);
    sentences_.Reset();
    firstFix_.LinkOpened(now);
    clock_.Reset();
    dateSeen_ = false;
    timing_ = true;
    fileTimed_ = false;
    fixes_.Forget();
    portBaud_ = baud;
    const unsigned age = age_.LinkOpened(now) ? kAge : kNothing;
    return ReceiverChange(receiver_.Forget()) | age | PageChange() | kHealth | ForgetPace() | UpdateFigures();
  }

  // A recording starts to play at `now`, in place of a link: the page shows
  // only what the file holds (it starts empty, the receiver unknown, the
  // fixes forgotten), the health reads "Playing" and the data's age does not
  // count. PlaybackClosed is LinkClosed.
  unsigned PlaybackOpened(std::uint32_t now) {
    ClearPage();
    health_.Open(now, true);
    firstFix_.Stop();
    clock_.Reset();
    timing_ = false;  // a file's times are not now
    fileTimed_ = true;
    fileClock_ = FileClock{};
    follow_.Stop();
    pollLink_ = nullptr;
    const unsigned age = age_.PlaybackOpened() ? kAge : kNothing;
    return ReceiverChange(receiver_.Forget()) | age | PageChange() | kHealth | ForgetPace() | UpdateFigures();
  }

  // A seek: the page goes back to where the file started and the bytes up to
  // the new place are fed again; the log pane meanwhile is a copy, which
  // EndReplay puts into the window's pane at once. Nothing replayed is
  // shared, and what the share feed held of the old place is dropped.
  void BeginReplay() {
    if (share_ != nullptr) share_->Sought();
    ClearPage();
    fileClock_ = FileClock{};
    ReceiverChange(receiver_.Forget());
    log_.BeginReplay();
  }
  unsigned EndReplay() {
    log_.EndReplay();
    return PageChange() | kLogNow | kName | kFamily | UpdateFigures();
  }
  bool Replaying() const { return log_.Replaying(); }

  // The charts' history of a live link, built from each line accepted from
  // when the link opened (a played file's is the playback's shadow's).
  void KeepHistory(HistoryBuilder<Ch>* history) { history_ = history; }
  // Whether the last line's decoding asked for the page to be drawn, whatever
  // it changed: TakeLine answers kPage only when the page's content moved.
  bool RepaintAsked() const { return repaint_; }

  // What a seek needs to take a recording up at a point of it without
  // feeding it again from its start: the page, the intake's own values, what
  // was recognised of the receiver, the fix pace, the kept GGA and the log
  // pane's copy as they stood there, and where the fixes stood (the fixes
  // themselves are too many to keep at every point). Only where the readout
  // is a record of its own (Build::kKeepsPoints).
  static constexpr int kGgaChars = 128;
  struct Point {
    Readout readout;
    nmea::SatelliteTable<Ch> satellites;
    typename IntakeType::Kept intake;
    ReceiverSession receiver;
    FixPace pace;
    FixRecord::Place fixes;
    std::vector<Ch> log;
    int logLines = 1;
    char gga[kGgaChars] = {};
    int ggaLength = 0;
    unsigned ggaCount = 0;
  };
  // A session that only reads a recording for its points keeps no fixes,
  // only where they stood.
  void CountFixesOnly() { fixes_.CountOnly(); }
  // While replaying: the point where the session now stands.
  void Keep(Point& point) const {
    point.readout = readout_;
    point.satellites = satellites_;
    intake_.Keep(point.intake);
    point.receiver = receiver_;
    point.pace = pace_;
    point.fixes = fixes_.Where();
    log_.Keep(point.log, point.logLines);
    std::memcpy(point.gga, gga_, sizeof gga_);
    point.ggaLength = ggaLength_;
    point.ggaCount = ggaCount_;
  }
  // While replaying: the session stands where `point` was kept. With
  // `forgetFixes` the fixes are forgotten down to the point's place, to be
  // fed again from there; without, the fixes stay as fed.
  void TakeUp(const Point& point, bool forgetFixes) {
    readout_ = point.readout;
    satellites_ = point.satellites;
    intake_.TakeUp(point.intake);
    receiver_.TakeUp(point.receiver);
    pace_ = point.pace;
    age_.SetFixPeriodMs(pace_.PeriodMs());
    if (forgetFixes) fixes_.ForgetTo(point.fixes);
    log_.TakeUp(point.log, point.logLines);
    std::memcpy(gga_, point.gga, sizeof gga_);
    ggaLength_ = point.ggaLength;
    ggaCount_ = point.ggaCount;
  }

  // A line of the monitor's own (the recorder's) into the log, at once.
  unsigned Note(const Ch* text) {
    log_.ReplaceSelection(text);
    return kLogNow;
  }

  // "Cannot ACTION SOURCE" into the log, at once: a file that would not
  // play, a network receiver's address that would not open.
  unsigned NoteCannot(const char* action, const Ch* source) {
    Ch note[kNoteChars];
    nmea::TextBuilder<Ch> text(note, kNoteChars);
    text.AppendAscii("Cannot ");
    text.AppendAscii(action);
    text.AppendAscii(" ");
    text.AppendText(source);
    text.AppendAscii("\r\n");
    return Note(note);
  }

  // The link was closed: the page keeps its data, grey.
  unsigned LinkClosed() {
    health_.Close();
    firstFix_.Stop();
    timing_ = false;
    follow_.Stop();
    pollLink_ = nullptr;
    const unsigned figures = fixesChanged_ ? UpdateFigures() : kNothing;
    return (age_.LinkClosed() ? kAge : kNothing) | kHealth | figures;
  }

  // One whole line as the reader cut it: `length` units, CR LF kept, a zero
  // after them. The receiver's family is read from it, the intake checks and
  // decodes it, and an accepted one makes the data young again.
  unsigned TakeLine(const Ch* line, int length, std::uint32_t now) {
    unsigned change = ReceiverChange(receiver_.OnLine(line, length));
    repaint_ = false;
    const int accepted = intake_.HandleSentence(line, length);
    sentences_.Line(line, length, accepted != 0, fileTimed_ ? fileClock_.Line(line, length) : now);
    if (repaint_ && PageMoved()) change |= kPage;
    if (accepted == 0) {
      health_.CountRejected();
      return change;
    }
    if (age_.SentenceAccepted(now)) change |= kAge | kPace;  // fresh again: a fast receiver's tick resumes
    if (health_.CountAccepted(now)) change |= kHealth;
    if (history_ != nullptr && !fileTimed_) history_->Line(line, length);
    if (follow_.Active()) change |= HeardAtRate(now);
    change |= TakeFix(line, length, now);
    if constexpr (sizeof(Ch) == 1) {
      if (share_ != nullptr && !log_.Replaying()) share_->Accepted(line, length, intake_);
    }
    return change | kAccepted;
  }

  // One binary frame as the stream lexer found it, at `now` (a played or
  // decoded frame needs none: no poll waits for it). The answer to a
  // port-setting poll goes back to the receiver with the new rate in it.
  unsigned TakeFrame(const unsigned char* frame, int length, std::uint32_t now = 0) {
    unsigned change = ReceiverChange(receiver_.OnFrame(frame, length, log_));
    sentences_.Frame(frame, length, fileTimed_ ? fileClock_.Now() : now);
    const unsigned long polledFor = follow_.PolledFor();
    receiver::RateCommand write;
    if (polledFor != 0 && pollLink_ != nullptr &&
        receiver::BuildPortRateFromAnswer(frame, length, polledFor, write)) {
      if (receiver::SendRateCommand(write, log_, *pollLink_) == 1) {
        follow_.Start(portBaud_, polledFor, now, WireMs(write, portBaud_));
      } else {
        follow_.Stop();
      }
      pollLink_ = nullptr;
      change |= kLogNow | kRate;
    }
    return change;
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
        [&](const unsigned char* frame, int length) { change |= TakeFrame(frame, length, now); });
    return change & ~kAccepted;
  }

  // The clock, once a second while a link is open, with the reader's totals.
  // The accuracy figures are worked out here, at most once a second, and
  // only when the fixes changed.
  unsigned Tick(std::uint32_t now, const link::LinkCounts& counts) {
    health_.Sample(now, counts.bytes, counts.linesCut, counts.lastByteMs);
    MeasureLoad(now, counts.bytes);
    const unsigned figures = fixesChanged_ ? UpdateFigures() : kNothing;
    return AgeTick(now) | kHealth | figures;
  }

  // The data's age alone, between the one-second ticks, for a receiver whose
  // fixes come faster than one a second (every AgeTickMs(), after kPace).
  // kPace as well when the data went stale, which the one-second tick counts.
  unsigned AgeTick(std::uint32_t now) {
    const std::uint32_t wasMs = AgeTickMs();
    const unsigned change = age_.Tick(now) ? kAge : kNothing;
    return AgeTickMs() != wasMs ? change | kPace : change;
  }
  // 0 while the one-second tick is enough.
  std::uint32_t AgeTickMs() const { return age_.TickMs() < 1000u ? age_.TickMs() : 0u; }
  // Fixes a second, as the receiver's fix times step.
  unsigned FixHz() const { return pace_.Hz(); }

  // Whether a Receiver-menu rate item can be used now: the family in force,
  // a link open (`linkOpen`) and no rate change under way, and the load the
  // link measured.
  bool RateItemEnabled(unsigned command, bool linkOpen) const {
    receiver::RateContext context;
    context.family = receiver_.InForce();
    context.usable = linkOpen && !follow_.Active();
    context.portBaud = portBaud_;
    context.bytesPerSecond = bytesPerSecond_;
    context.currentHz = bytesPerSecond_ == 0 ? 0u : pace_.Hz();
    return receiver::RateItemEnabled(command, context);
  }

  // A Receiver-menu rate item at `now`: the port rate, the fix rate or the
  // save, in the family in force, echoed and written on `link`. A port-rate
  // change is then followed (kRate). `result` is 0 when the item is grey.
  unsigned RateItem(unsigned command, bool linkOpen, receiver::SentenceWriter<Ch>& link, std::uint32_t now,
                    int& result) {
    result = 0;
    if (!RateItemEnabled(command, linkOpen)) return kNothing;
    receiver::RateCommand built;
    const receiver::Family family = receiver_.InForce();
    unsigned long newBaud = 0;
    if (command < receiver::kCmdFixRateFirst && receiver::PollsPortRate(family)) {
      // Only the rate may change in the receiver's port setting: it is read
      // first, and written back when it comes (TakeFrame).
      receiver::BuildPortRatePoll(built);
      result = receiver::SendRateCommand(built, log_, link);
      if (result == 0) return kLogNow;
      follow_.StartPoll(receiver::kBaudTable[command - receiver::kCmdPortRateFirst], now);
      pollLink_ = &link;
      return kLogNow | kRate;
    }
    if (command < receiver::kCmdFixRateFirst) {
      newBaud = receiver::kBaudTable[command - receiver::kCmdPortRateFirst];
      receiver::BuildPortRate(family, newBaud, built);
    } else if (command < receiver::kCmdSaveToReceiver) {
      receiver::BuildFixRate(family, receiver::kFixRatesHz[command - receiver::kCmdFixRateFirst], built);
    } else {
      receiver::BuildSave(family, built);
    }
    result = receiver::SendRateCommand(built, log_, link);
    if (result == 0 || newBaud == 0) return kLogNow;
    follow_.Start(portBaud_, newBaud, now, WireMs(built, portBaud_));
    return kLogNow | kRate;
  }

  // The port-rate change's timer at `now`: the port moves on (kRate), or
  // the hunt gave up and says so.
  unsigned FollowRate(std::uint32_t now) {
    RateFollow::Outcome outcome;
    const unsigned long baud = follow_.Due(now, outcome);
    if (baud != 0) portBaud_ = baud;
    if (outcome == RateFollow::Outcome::kNotFound) return kRate | NoteAscii(kNotFoundText);
    if (outcome == RateFollow::Outcome::kNoAnswer) {
      pollLink_ = nullptr;
      return kRate | NoteAscii("Receiver did not answer: port rate unchanged\r\n");
    }
    return kRate;
  }
  // The rate the port is to run at; when FollowRate is next due.
  unsigned long PortBaud() const { return portBaud_; }
  std::uint32_t RateWakeMs(std::uint32_t now) const { return follow_.WakeAfterMs(now); }

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
  // receiver::IsReceiverMessage names): a family chosen (`value` its index),
  // Identify, or one of the seven commands. `result` is the message's answer.
  unsigned Request(unsigned message, int value, receiver::SentenceWriter<Ch>& link, int& result, std::uint32_t now) {
    result = 1;
    if (message == receiver::kMsgChooseFamily) return Choose(value);
    if (message == receiver::kMsgIdentify) return StartIdentify(link);
    return Command(message, link, result, now);
  }

  // One of the seven commands, in the family in force, at `now`: its echo,
  // then its bytes on `link`. `result` is 1, or 0 when the family has no such
  // command. A Cold Start sent starts the time to first fix.
  unsigned Command(unsigned message, receiver::SentenceWriter<Ch>& link, int& result, std::uint32_t now) {
    result = receiver::SendFamilyCommand(receiver_.InForce(), message, Build::kEcho, log_, link);
    if (message == receiver::kMsgColdStart && result == 1) firstFix_.ColdStart(now);
    return kLogNow;
  }

  const FirstFixClock& FirstFix() const { return firstFix_; }

  // The PC's UTC in ms since 1970 as the lines about to be taken came in; the
  // receiver's clock is compared with it.
  void ClockReading(std::int64_t pcUtcMs) { pcUtcMs_ = pcUtcMs; }
  const ClockOffset& Clock() const { return clock_; }
  // Whether the receiver's clock can be compared: a link, not a played file.
  bool ClockTimed() const { return timing_; }

  // The family list's selection (or the handheld's Receiver menu) changed.
  unsigned Choose(int index) { return ReceiverChange(receiver_.Choose(index)); }

  // Identify: every family's query goes out on `link`; the window times
  // the listening (kListen) and ends it with EndIdentify.
  unsigned StartIdentify(receiver::SentenceWriter<Ch>& link) {
    receiver_.StartIdentify(log_, link);
    return kLogNow | kListen;
  }

  // The listening time is over: the name as it now is goes into the log.
  unsigned EndIdentify() {
    const unsigned name = receiver_.EndIdentify(log_);
    // The log has the name already; nothing is to be logged twice.
    return kLogNow | ((name & ReceiverSession::kNameChanged) != 0 ? kName : kNothing);
  }

  receiver::Family Chosen() const { return receiver_.Chosen(); }
  receiver::Family InForce() const { return receiver_.InForce(); }
  const char* ReceiverName() const { return receiver_.Name(); }
  // The all-systems view and whether the receiver has shown more than GPS.
  const IntakeType& Intake() const { return intake_; }
  // Every sentence's count, rate, bad checksums and gaps since the link
  // opened, the file started or the user reset them.
  const SentenceHealth& Sentences() const { return sentences_; }
  // The time the sentence table is read at, given the tick `now`: a played
  // file's rates and ages are the receiver's, by the file's own fix times,
  // whatever the play speed or a seek's burst.
  std::uint32_t SentencesNow(std::uint32_t now) const { return fileTimed_ ? fileClock_.Now() : now; }
  void ResetSentences() { sentences_.Reset(); }
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

  // The receiver's latest GGA as it came (without its CR LF), and how many
  // have come: a corrections caster is sent the newest. Its quality and
  // age of corrections, as read.
  const char* LatestGga(int& length) const {
    length = ggaLength_;
    return gga_;
  }
  unsigned GgaCount() const { return ggaCount_; }
  const nmea::GgaFix& LastGga() const { return intake_.gga(); }

  // The link's state ("Receiving", ...) and counts, as the Setup pages show them.
  void HealthState(Ch* text, int capacity) const { health_.StateText(text, capacity); }
  void HealthCounts(Ch* text, int capacity) const { health_.CountsText(text, capacity); }

 private:
  static void NoteRepaint(void* self) { static_cast<MonitorSession*>(self)->repaint_ = true; }

  // The page is to draw what the tables now hold: whatever asks for it, the
  // fingerprint of what it draws is kept, so that a line which brings the
  // page back to what it held before is still drawn.
  unsigned PageChange() {
    drawnPage_ = PageFingerprint::Of<Ch>(readout_, satellites_, intake_.gnss());
    return kPage;
  }
  // True when a line changed what the page draws since it was last asked to.
  bool PageMoved() {
    const std::uint64_t now = PageFingerprint::Of<Ch>(readout_, satellites_, intake_.gnss());
    if (now == drawnPage_) return false;
    drawnPage_ = now;
    return true;
  }

  // The page as before any data: empty texts, no satellites, no talker seen,
  // no fixes.
  void ClearPage() {
    static const Ch kEmpty[] = {Ch(0)};
    for (int field = 0; field < nmea::kReadoutFieldCount; ++field) {
      IntakeBuild::SetText(readout_, static_cast<nmea::ReadoutField>(field), kEmpty);
    }
    satellites_ = nmea::SatelliteTable<Ch>{};
    intake_.ResetTalkers();
    sentences_.Reset();
    fixes_.Forget();
    fixesChanged_ = false;
  }

  static constexpr const char* kNotFoundText = "Receiver not found: scan for it\r\n";

  // A valid sentence while a port-rate change listens: there is the receiver.
  unsigned HeardAtRate(std::uint32_t now) {
    unsigned long baud = 0;
    const RateFollow::Outcome outcome = follow_.Heard(now, baud);
    if (outcome == RateFollow::Outcome::kNone) return kNothing;
    char text[48];
    std::snprintf(text, sizeof text, "%s %lu\r\n",
                  outcome == RateFollow::Outcome::kNowAt ? "Receiver now at" : "Receiver found at", baud);
    return kRate | NoteAscii(text);
  }

  // A note in ASCII, in the build's text form.
  unsigned NoteAscii(const char* text) {
    Ch wide[64];
    int n = 0;
    for (; text[n] != 0 && n < 63; ++n) wide[n] = Ch(static_cast<unsigned char>(text[n]));
    wide[n] = Ch(0);
    return Note(static_cast<const Ch*>(wide));
  }

  // How long `command` takes to leave a port at `baud`: ten bits a byte, a
  // sentence's CR LF included, rounded up.
  static std::uint32_t WireMs(const receiver::RateCommand& command, unsigned long baud) {
    unsigned long bytes = 0;
    for (int i = 0; i < command.partCount; ++i) bytes += command.parts[i].length + (command.parts[i].frame ? 0 : 2);
    return baud == 0 ? 0u : static_cast<std::uint32_t>((bytes * 10 * 1000 + baud - 1) / baud);
  }

  // The link's bytes a second, over the last whole second or more.
  void MeasureLoad(std::uint32_t now, unsigned long bytes) {
    if (loadSince_ != 0 && now - loadSince_ >= 1000u && bytes >= loadBytes_) {
      bytesPerSecond_ = (bytes - loadBytes_) * 1000u / (now - loadSince_);
    }
    if (loadSince_ == 0 || now - loadSince_ >= 1000u) {
      loadSince_ = now == 0 ? 1u : now;
      loadBytes_ = bytes;
    }
  }

  // A new receiver (or file) is taken to give a fix a second until its
  // fixes say otherwise; kPace when that is a change.
  unsigned ForgetPace() {
    const std::uint32_t was = pace_.PeriodMs();
    pace_.Forget();
    age_.SetFixPeriodMs(pace_.PeriodMs());
    bytesPerSecond_ = 0;
    loadSince_ = 0;
    return pace_.PeriodMs() != was ? kPace : kNothing;
  }

  // The fix period from a fix's time of day; kPace when it changed.
  unsigned TakePace(FixPace::Sentence sentence, const nmea::Reading& time) {
    if (!time.present || !pace_.Take(sentence, time.value)) return kNothing;
    age_.SetFixPeriodMs(pace_.PeriodMs());
    return kPace;
  }

  // A fix, or the receiver's own error estimate, from the line just
  // accepted; a GGA is also kept as it came, for a corrections caster.
  unsigned TakeFix(const Ch* line, int length, std::uint32_t now) {
    switch (intake_.lastFix()) {
      case nmea::FixSentence::kGga: {
        KeepGga(line, length);
        const nmea::GgaFix& gga = intake_.gga();
        fixesChanged_ = fixes_.TakeGga(gga) || fixesChanged_;
        const bool valid = gga.quality >= 1 && gga.latitude.present && gga.longitude.present;
        ClockCycle(gga.time);
        return TakePace(FixPace::kGga, gga.time) | FirstFixReport(valid, now);
      }
      case nmea::FixSentence::kRmc: {
        const nmea::RmcFix& rmc = intake_.rmcFix();
        fixesChanged_ = fixes_.TakeRmc(rmc) || fixesChanged_;
        const bool valid = rmc.valid && rmc.latitude.present && rmc.longitude.present;
        if (rmc.date.present) dateSeen_ = true;
        ClockCycle(rmc.time);
        return TakePace(FixPace::kRmc, rmc.time) | FirstFixReport(valid, now);
      }
      case nmea::FixSentence::kGst:
        fixes_.TakeGst(intake_.gst());
        fixesChanged_ = true;
        return kNothing;
      case nmea::FixSentence::kNone:
        return kNothing;
    }
    return kNothing;
  }

  // A fix report for the time to first fix: the first fix timed goes into
  // the log pane at once ("First fix 2.1 s after the link opened").
  unsigned FirstFixReport(bool valid, std::uint32_t now) {
    if (!firstFix_.Report(valid, now)) return kNothing;
    Ch text[64];
    firstFix_.FormatLog(text, 64);
    log_.ReplaceSelection(text);
    return kLogNow;
  }

  // A fix sentence's time: the first of a new cycle is compared with the
  // PC's clock as it was when its batch came in.
  void ClockCycle(const nmea::Reading& time) {
    if (!time.present || !timing_ || pcUtcMs_ == 0) return;
    const auto dayMs = static_cast<std::int64_t>(time.value * 1000.0 + 0.5);
    if (dayMs == lastCycleMs_) return;
    lastCycleMs_ = dayMs;
    if (dateSeen_) clock_.Cycle(dayMs, pcUtcMs_);
  }

  void KeepGga(const Ch* line, int length) {
    while (length > 0 && (line[length - 1] == Ch('\r') || line[length - 1] == Ch('\n'))) --length;
    if (length >= kGgaChars) return;
    for (int i = 0; i < length; ++i) gga_[i] = static_cast<char>(line[i]);
    gga_[length] = '\0';
    ggaLength_ = length;
    ++ggaCount_;
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
  SentenceHealth sentences_;
  FirstFixClock firstFix_;
  ClockOffset clock_;
  bool timing_ = false;          // a link is open: its cycles are compared with the PC's clock
  bool fileTimed_ = false;       // the sentence table is fed from a file, timed by its fix times
  HistoryBuilder<Ch>* history_ = nullptr;
  FileClock fileClock_;
  bool dateSeen_ = false;        // the receiver has given a date since the link opened
  std::int64_t pcUtcMs_ = 0;     // the PC's clock as the current batch came in
  std::int64_t lastCycleMs_ = -1;  // the fix time of the cycle compared last
  bool repaint_ = false;  // the intake asked for the page to be repainted
  std::uint64_t drawnPage_ = 0;  // the fingerprint of what the page was last asked to draw
  FixRecord fixes_;
  AccuracyFigures figures_;
  ScatterFrame scatter_;  // its raster is allocated the first time it is asked for
  bool fixesChanged_ = false;  // since the figures were last worked out
  ShareFeed* share_ = nullptr;
  FixPace pace_;
  RateFollow follow_;
  // The link a port-setting poll went out on, for the write of its answer;
  // null when no poll waits (and once the link closed).
  receiver::SentenceWriter<Ch>* pollLink_ = nullptr;
  char gga_[kGgaChars] = {};
  int ggaLength_ = 0;
  unsigned ggaCount_ = 0;
  unsigned long portBaud_ = 0;
  unsigned long bytesPerSecond_ = 0;
  unsigned long loadBytes_ = 0;
  std::uint32_t loadSince_ = 0;
};

}  // namespace trelvane::monitor
