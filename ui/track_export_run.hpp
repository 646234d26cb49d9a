// File > Export Track in both monitors: the track of the file playing (all
// of it) or of the recording under way (what it holds so far), written as
// GPX, KML or CSV where the user chooses in the Save As dialog. The file is
// read in slices on the window's timer, as a seek reads it, so the window
// answers throughout; the bytes go to a temporary file beside the target,
// which takes the target's name only once it is whole. A failed export
// leaves no file and says "Cannot export: REASON"; closing the window in the
// middle of one leaves none either.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <memory>

#include "handles/owned.hpp"
#include "monitor/track_export.hpp"
#include "nmea/text.hpp"
#include "ui/file_calls.hpp"

namespace trelvane::ui {

// A slice reads for at most this long, and the next comes this much later:
// the window is never held longer than a seek's slice holds it.
constexpr DWORD kExportSliceMs = 30;
constexpr UINT kExportTickMs = 10;
// The folder, the name and ".part" after it must fit a path.
constexpr int kTemporarySuffixChars = 5;

// The temporary file's writes; the first failure's error is kept.
struct ExportFileOut {
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  bool Write(const char* bytes, std::size_t count) {
    while (count > 0) {
      const DWORD piece = count > (1u << 20) ? (1u << 20) : static_cast<DWORD>(count);
      DWORD written = 0;
      if (!WriteFile(file, bytes, piece, &written, nullptr) || written != piece) {
        error = GetLastError() != 0 ? GetLastError() : ERROR_DISK_FULL;
        return false;
      }
      bytes += piece;
      count -= piece;
    }
    return true;
  }
};

template <class Ch>
class TrackExportRun {
 public:
  static constexpr int kNoteChars = kPathChars + 96;

  TrackExportRun() = default;
  TrackExportRun(const TrackExportRun&) = delete;
  TrackExportRun& operator=(const TrackExportRun&) = delete;
  ~TrackExportRun() { Cancel(); }

  bool Running() const { return work_ != nullptr; }
  // How far the export has read, in thousandths of the file.
  int Permille() const {
    if (!work_ || work_->size == 0) return 0;
    return static_cast<int>(work_->read * 1000 / work_->size);
  }

  // Asks where the track of `source` goes (Save As, owned by `owner`) and
  // starts it there, its slices on `owner`'s timer `timerId`. `note` gets
  // the log's line; empty when the user cancelled.
  void Start(HWND owner, UINT timerId, const Ch* source, Ch (&note)[kNoteChars]) {
    note[0] = Ch(0);
    Ch target[kPathChars];
    monitor::TrackFormat format;
    if (!AskWhere(owner, source, target, format)) return;
    StartTo(owner, timerId, source, target, format, note);
  }

  // Starts the export of `source` to `target` in `format`.
  void StartTo(HWND owner, UINT timerId, const Ch* source, const Ch* target, monitor::TrackFormat format,
               Ch (&note)[kNoteChars]) {
    Cancel();
    nmea::TextBuilder<Ch> text(note, kNoteChars);
    auto work = std::make_unique<Work>();
    const int targetLength = nmea::TextLength(target, kPathChars);
    if (targetLength + kTemporarySuffixChars >= kPathChars) return Cannot(note, "the name is too long", 0);
    nmea::CopyText(work->target, kPathChars, target);
    nmea::TextBuilder<Ch> temporary(work->temporary, kPathChars);
    temporary.AppendText(target);
    temporary.AppendAscii(".part");
    work->source.Reset(OpenSource(source));
    if (!work->source.Valid()) return Cannot(note, "cannot read ", GetLastError(), source);
    LARGE_INTEGER size = {};
    GetFileSizeEx(work->source.Get(), &size);
    work->size = static_cast<std::uint64_t>(size.QuadPart);
    work->out.file = CreateTemporary(work->temporary);
    if (work->out.file == INVALID_HANDLE_VALUE) return Cannot(note, "cannot write ", GetLastError(), target);
    work->written.Reset(work->out.file);
    TrackName(source, work->name);
    work->track = std::make_unique<monitor::TrackExport<ExportFileOut>>(format, work->name, work->out);
    work_ = std::move(work);
    owner_ = owner;
    timerId_ = timerId;
    SetTimer(owner, timerId, kExportTickMs, nullptr);
    text.AppendAscii("Exporting the track to ");
    text.AppendText(target);
    text.AppendAscii("\r\n");
  }

  // One slice, on the timer: true when the export ended, `note` then
  // holding the log's line.
  bool Slice(Ch (&note)[kNoteChars]) {
    note[0] = Ch(0);
    if (!work_) return false;
    const DWORD start = GetTickCount();
    do {
      const std::uint64_t left = work_->size - work_->read;
      if (left == 0) return Finish(note);
      const DWORD want = left < sizeof work_->piece ? static_cast<DWORD>(left) : sizeof work_->piece;
      DWORD got = 0;
      if (!ReadFile(work_->source.Get(), work_->piece, want, &got, nullptr)) {
        const DWORD error = GetLastError();
        return Fail(note, "cannot read the file", error);
      }
      if (got == 0) return Finish(note);  // it ended early (the recording was cut)
      work_->track->Feed(work_->piece, got);
      work_->read += got;
      if (work_->out.error != 0) break;
    } while (GetTickCount() - start < kExportSliceMs);
    if (work_->out.error != 0) return Fail(note, "cannot write the track", work_->out.error);
    return false;
  }

  // Stops an export under way; its temporary file goes.
  void Cancel() {
    if (!work_) return;
    KillTimer(owner_, timerId_);
    work_->written.Reset();
    DeleteTemporary(work_->temporary);
    work_.reset();
  }

 private:
  struct Work {
    handles::OwnedHandle source;
    handles::OwnedHandle written;  // owns out.file
    ExportFileOut out;
    std::unique_ptr<monitor::TrackExport<ExportFileOut>> track;
    std::uint64_t size = 0;
    std::uint64_t read = 0;
    Ch target[kPathChars] = {};
    Ch temporary[kPathChars] = {};
    char name[kPathChars * 3] = {};  // UTF-8
    unsigned char piece[1 << 16];
  };

  bool Finish(Ch (&note)[kNoteChars]) {
    if (!work_->track->Finish()) return Fail(note, "cannot write the track", work_->out.error);
    const long long points = work_->track->Points();
    work_->written.Reset();
    if (!Rename(work_->temporary, work_->target)) return Fail(note, "cannot replace ", GetLastError(), work_->target);
    nmea::TextBuilder<Ch> text(note, kNoteChars);
    text.AppendAscii("Exported ");
    text.AppendInt(points, 1);
    text.AppendAscii(points == 1 ? " point to " : " points to ");
    text.AppendText(work_->target);
    text.AppendAscii("\r\n");
    KillTimer(owner_, timerId_);
    work_.reset();
    return true;
  }

  bool Fail(Ch (&note)[kNoteChars], const char* reason, DWORD error, const Ch* path = nullptr) {
    Cancel();
    Cannot(note, reason, error, path);
    return true;
  }

  // "Cannot export: REASON[PATH] (error N)".
  static void Cannot(Ch (&note)[kNoteChars], const char* reason, DWORD error, const Ch* path = nullptr) {
    nmea::TextBuilder<Ch> text(note, kNoteChars);
    text.AppendAscii("Cannot export: ");
    text.AppendAscii(reason);
    if (path != nullptr) text.AppendText(path);
    if (error != 0) {
      text.AppendAscii(" (error ");
      text.AppendInt(static_cast<long long>(error), 1);
      text.AppendAscii(")");
    }
    text.AppendAscii("\r\n");
  }

  // The Save As dialog: the three formats, the file's own name with the
  // chosen format's extension as the default. The format follows the name's
  // extension when it is one of the three, else the filter chosen.
  static bool AskWhere(HWND owner, const Ch* source, Ch (&target)[kPathChars], monitor::TrackFormat& format) {
    nmea::CopyText(target, kPathChars, source);
    int dot = -1;
    for (int i = 0; target[i] != Ch(0); ++i) {
      if (target[i] == Ch('.')) dot = i;
      if (target[i] == Ch('\\') || target[i] == Ch('/')) dot = -1;
    }
    const int length = nmea::TextLength(target, kPathChars);
    if (dot < 0) dot = length;
    if (dot + 4 < kPathChars) {
      nmea::TextBuilder<Ch> extension(target + dot, kPathChars - dot);
      extension.AppendAscii(".gpx");
    }
    DWORD filter = 1;
    bool chosen;
    if constexpr (sizeof(Ch) == 1) {
      OPENFILENAMEA dialog = {};
      dialog.lStructSize = sizeof dialog;
      dialog.hwndOwner = owner;
      dialog.lpstrFilter = "GPX 1.1 (*.gpx)\0*.gpx\0KML (*.kml)\0*.kml\0CSV (*.csv)\0*.csv\0";
      dialog.lpstrFile = target;
      dialog.nMaxFile = kPathChars - kTemporarySuffixChars;
      dialog.lpstrTitle = "Export Track";
      dialog.lpstrDefExt = "gpx";
      dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
      chosen = GetSaveFileNameA(&dialog) != FALSE;
      filter = dialog.nFilterIndex;
    } else {
      OPENFILENAMEW dialog = {};
      dialog.lStructSize = sizeof dialog;
      dialog.hwndOwner = owner;
      dialog.lpstrFilter = L"GPX 1.1 (*.gpx)\0*.gpx\0KML (*.kml)\0*.kml\0CSV (*.csv)\0*.csv\0";
      dialog.lpstrFile = target;
      dialog.nMaxFile = kPathChars - kTemporarySuffixChars;
      dialog.lpstrTitle = L"Export Track";
      dialog.lpstrDefExt = L"gpx";
      dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
      chosen = GetSaveFileNameW(&dialog) != FALSE;
      filter = dialog.nFilterIndex;
    }
    if (!chosen) return false;
    format = filter == 2 ? monitor::TrackFormat::kKml : filter == 3 ? monitor::TrackFormat::kCsv : monitor::TrackFormat::kGpx;
    const int end = nmea::TextLength(target, kPathChars);
    if (end >= 4 && target[end - 4] == Ch('.')) {
      const Ch* ext = target + end - 3;
      const auto is = [ext](const char* name) {
        for (int i = 0; i < 3; ++i) {
          if ((ext[i] | Ch(0x20)) != Ch(name[i])) return false;
        }
        return true;
      };
      if (is("gpx")) format = monitor::TrackFormat::kGpx;
      if (is("kml")) format = monitor::TrackFormat::kKml;
      if (is("csv")) format = monitor::TrackFormat::kCsv;
    }
    return true;
  }

  // The file's name after its folders, in UTF-8, for the track's name.
  static void TrackName(const Ch* path, char (&name)[kPathChars * 3]) {
    const Ch* start = path;
    for (const Ch* at = path; *at != Ch(0); ++at) {
      if (*at == Ch('\\') || *at == Ch('/') || *at == Ch(':')) start = at + 1;
    }
    wchar_t wide[kPathChars];
    if constexpr (sizeof(Ch) == 1) {
      if (MultiByteToWideChar(CP_ACP, 0, start, -1, wide, kPathChars) == 0) wide[0] = 0;
    } else {
      nmea::CopyText(wide, kPathChars, start);
    }
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, name, sizeof name, nullptr, nullptr) == 0) name[0] = 0;
  }

  static HANDLE OpenSource(const Ch* path) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if constexpr (sizeof(Ch) == 1) {
      return CreateFileA(path, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    } else {
      return CreateFileW(path, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    }
  }
  static HANDLE CreateTemporary(const Ch* path) {
    if constexpr (sizeof(Ch) == 1) {
      return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    } else {
      return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
  }
  static void DeleteTemporary(const Ch* path) {
    if constexpr (sizeof(Ch) == 1) {
      DeleteFileA(path);
    } else {
      DeleteFileW(path);
    }
  }
  static bool Rename(const Ch* from, const Ch* to) {
    if constexpr (sizeof(Ch) == 1) {
      return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
    } else {
      return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
    }
  }

  std::unique_ptr<Work> work_;
  HWND owner_ = nullptr;
  UINT timerId_ = 0;
};

}  // namespace trelvane::ui
