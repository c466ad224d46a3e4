#include "platform/standard_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace varnel {

bool OpenClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is taken, and every lower one is open by now.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      if (opened >= 0) close(opened);
      return false;
    }
  }
  return true;
}

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool StandardInputIsFile() {
  struct stat info {};
  return fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace varnel
