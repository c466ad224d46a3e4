// Standard output's stream over its descriptor: whole output on a pipe that
// makes the writer wait, and a failed write that turns the stream bad.
#include "platform/descriptor_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

namespace varnel {
namespace {

TEST(DescriptorStreamTest, NonBlockingPipeGetsEveryByteInOrderOnlyWhenFlushed) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(fcntl(ends[1], F_SETFL, O_NONBLOCK), 0);  // writes meet EAGAIN once it is full
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += std::to_string(i) + '\n';
  std::string got;
  {
    DescriptorStream stream(ends[1]);
    stream << "held";
    char byte;
    ASSERT_EQ(fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
    EXPECT_EQ(read(ends[0], &byte, 1), -1);  // nothing before the flush
    ASSERT_EQ(fcntl(ends[0], F_SETFL, 0), 0);
    std::thread reader([&] {
      char buffer[4096];
      for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<size_t>(n));
    });
    stream << text << std::flush;
    EXPECT_TRUE(stream.good());
    EXPECT_EQ(stream.error(), 0);
    close(ends[1]);
    reader.join();
  }
  close(ends[0]);
  EXPECT_EQ(got, "held" + text);
}

TEST(DescriptorStreamTest, FailedWriteMakesTheStreamBadAndKeepsTheError) {
  const int full = open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  DescriptorStream stream(full);
  stream << "dn: x" << std::flush;
  EXPECT_TRUE(stream.bad());
  EXPECT_EQ(stream.error(), ENOSPC);
  stream.clear();
  stream << "more";  // nothing is taken after a failure, not even into the buffer
  EXPECT_TRUE(stream.bad());
  close(full);
}

}  // namespace
}  // namespace varnel
