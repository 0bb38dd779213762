#include "logger/noxlogger.h"

#include "logger/log_ops.h"

#include <wx/strconv.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The agent clears its umask, so the mode is given explicitly everywhere.
constexpr mode_t kLogMode = 0644;

bool write_all(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = ::write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// A line with a character the locale cannot represent keeps everything else: each such
// character becomes '?', so the record (time stamp included) is not lost.
std::string narrow_line(const wxString& line) {
  std::string out = to_narrow(line);
  if (!out.empty() || line.empty()) return out;
  for (wxString::const_iterator it = line.begin(); it != line.end(); ++it) {
    std::string one = to_narrow(wxString(*it));
    out += one.empty() ? std::string("?") : one;
  }
  return out;
}

}  // namespace

NOXLogger::NOXLogger(wxLog* previous, const std::string& file_name)
    : file_name_(file_name), previous_(previous) {
  open_file();
  wxLog::SetTimestamp("[%Y/%m/%d %H:%M:%S]");
  std::ifstream in(file_name_);
  std::string line;
  while (std::getline(in, line)) ++line_count_;
}

NOXLogger::~NOXLogger() {
  if (wxLog::GetActiveTarget() == this) {
    // Records still buffered from other threads belong in this file, not in the target
    // that comes back.
    wxLog::FlushActive();
    wxLog::SetActiveTarget(previous_);
  }
  if (fd_ >= 0) ::close(fd_);
}

void NOXLogger::open_file() {
  if (file_name_.empty()) return;
  fd_ = ::open(file_name_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kLogMode);
}

void NOXLogger::DoLogText(const wxString& msg) {
  if (fd_ >= 0) {
    std::string line = narrow_line(msg);
    line += '\n';
    write_all(fd_, line.data(), line.size());  // a failed write is lost silently
  }
  if (debug_mode.load(std::memory_order_relaxed)) return;
  if (++line_count_ <= kMaxLines) return;
  trim();
  line_count_ -= kTrimLines;
}

// The kept lines go to a temporary file that replaces the log by rename, so a crash in
// the middle leaves either the old file or the trimmed one, never a half-written one.
// When the file cannot be read or the copy cannot be made, the file is left as it is.
void NOXLogger::trim() {
  if (file_name_.empty()) return;
  std::ifstream in(file_name_);
  if (!in) return;
  std::string kept;
  std::string line;
  uint32_t number = 0;
  while (std::getline(in, line)) {
    if (++number <= kTrimLines) continue;
    kept += line;
    kept += '\n';
  }
  in.close();

  std::vector<char> tmp_name(file_name_.begin(), file_name_.end());
  static const char kSuffix[] = ".XXXXXX";
  tmp_name.insert(tmp_name.end(), kSuffix, kSuffix + sizeof kSuffix);
  int tmp = ::mkstemp(tmp_name.data());
  if (tmp < 0) return;
  bool ok = ::fchmod(tmp, kLogMode) == 0 && write_all(tmp, kept.data(), kept.size()) && ::fsync(tmp) == 0;
  ok = ::close(tmp) == 0 && ok;
  if (!ok || ::rename(tmp_name.data(), file_name_.c_str()) != 0) {
    ::unlink(tmp_name.data());
    return;
  }
  // Our descriptor still points at the replaced file; later lines belong in the new one.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  open_file();
}
