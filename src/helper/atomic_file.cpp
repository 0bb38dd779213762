#include "helper/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

std::string parent_dir(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The rename itself lives in the directory; without this a crash may forget it.
void sync_dir(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool write_all(int fd, const char* data, std::size_t len) {
  while (len > 0) {
    const ssize_t n = write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

bool replace_file(const std::string& path, mode_t mode, const std::function<bool(int fd)>& fill) {
  std::string tmpl = path + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  // Close-on-exec: the agent starts scripts and must not hand them this descriptor.
  const int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && fill(fd) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(name.data(), path.c_str()) == 0;
  if (!ok) {
    unlink(name.data());
    return false;
  }
  sync_dir(parent_dir(path));
  return true;
}

bool replace_file(const std::string& path, const std::string& bytes, mode_t mode) {
  return replace_file(path, mode, [&bytes](int fd) { return write_all(fd, bytes.data(), bytes.size()); });
}
