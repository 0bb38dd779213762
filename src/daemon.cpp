#include "daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

std::string program_name(const char* argv0) {
  if (!argv0) return std::string();
  const char* slash = std::strrchr(argv0, '/');
  return slash ? slash + 1 : argv0;
}

namespace {

void fork_or_die(const char* prog) {
  const pid_t pid = fork();
  if (pid < 0) {
    std::fprintf(stderr, "%s: can't fork", prog);
    std::exit(1);
  }
  if (pid > 0) std::exit(0);
}

}  // namespace

void daemonize(const char* prog) {
  umask(0);
  struct rlimit rl {};
  if (getrlimit(RLIMIT_NOFILE, &rl) < 0) {
    std::fprintf(stderr, "%s: can't get file limit", prog);
    std::exit(1);
  }
  fork_or_die(prog);
  setsid();

  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
  if (sigaction(SIGHUP, &sa, nullptr) < 0) {
    std::fprintf(stderr, "%s, can't ignore SIGHUP", prog);
    std::exit(1);
  }
  fork_or_die(prog);

  const rlim_t limit = rl.rlim_max == RLIM_INFINITY ? 1024 : rl.rlim_max;
#ifdef __linux__
  // One system call instead of up to the hard limit of close() calls.
  if (close_range(0, static_cast<unsigned>(limit - 1), 0) != 0)
#endif
    for (rlim_t fd = 0; fd < limit; ++fd) close(static_cast<int>(fd));

  const int fd0 = open("/dev/null", O_RDWR);
  const int fd1 = dup(0);
  const int fd2 = dup(0);
  if (fd0 != 0 || fd1 != 1 || fd2 != 2) std::exit(1);
}

int lock_pid_file(const char* path) {
  const int fd = open(path, O_RDWR | O_CREAT, 0644);
  if (fd < 0) std::exit(1);
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  if (fcntl(fd, F_SETLK, &fl) < 0) {
    if (errno == EACCES || errno == EAGAIN) {
      close(fd);
      return 1;
    }
    std::exit(1);
  }
  if (ftruncate(fd, 0) < 0) std::exit(1);
  const std::string pid = std::to_string(getpid());
  if (write(fd, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) std::exit(1);
  // The descriptor stays open for the life of the process: closing it would drop the lock.
  return 0;
}
