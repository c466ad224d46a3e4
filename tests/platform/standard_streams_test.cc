#include "platform/standard_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace varnel {
namespace {

bool IsDevNull(int fd) {
  struct stat opened {};
  struct stat null {};
  return fstat(fd, &opened) == 0 && stat("/dev/null", &null) == 0 && S_ISCHR(opened.st_mode) &&
         opened.st_rdev == null.st_rdev;
}

// Runs body in a child process (so that closing descriptors cannot disturb
// the test runner) and returns its exit status: 0 when every check held,
// otherwise the number of the check that failed.
int InChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(StandardStreamsTest, AClosedInputReadsAsEmptyAndIsNotReused) {
  EXPECT_EQ(InChild([] {
              close(0);
              if (!OpenClosedStandardStreams()) return 1;
              if (!IsDevNull(0)) return 2;
              char c = 0;
              if (read(0, &c, 1) != 0) return 3;  // end of input at once
              int next = open("/dev/zero", O_RDONLY);
              return next > 2 ? 0 : 4;  // a later file (or socket) gets a number of its own
            }),
            0);
}

TEST(StandardStreamsTest, ClosedOutputsAreFilledInOrder) {
  EXPECT_EQ(InChild([] {
              close(0);
              close(1);
              close(2);
              if (!OpenClosedStandardStreams()) return 1;
              for (int fd = 0; fd <= 2; ++fd)
                if (!IsDevNull(fd)) return 2 + fd;
              if (write(1, "x", 1) != 1 || write(2, "x", 1) != 1) return 5;
              return open("/dev/zero", O_RDONLY) > 2 ? 0 : 6;
            }),
            0);
  EXPECT_EQ(InChild([] {
              int pipeFds[2];
              if (pipe(pipeFds) != 0 || dup2(pipeFds[0], 0) != 0) return 1;
              close(1);
              if (!OpenClosedStandardStreams()) return 2;
              return IsDevNull(1) && !IsDevNull(0) ? 0 : 3;
            }),
            0);
}

TEST(StandardStreamsTest, OpenDescriptorsAreLeftAlone) {
  EXPECT_EQ(InChild([] {
              int pipeFds[2];
              if (pipe(pipeFds) != 0 || dup2(pipeFds[0], 0) != 0) return 1;
              struct stat before {};
              fstat(0, &before);
              if (!OpenClosedStandardStreams()) return 2;
              struct stat after {};
              fstat(0, &after);
              return before.st_ino == after.st_ino && before.st_dev == after.st_dev ? 0 : 3;
            }),
            0);
}

}  // namespace
}  // namespace varnel
