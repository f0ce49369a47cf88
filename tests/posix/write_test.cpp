// The POSIX write loop against a real pipe whose reader is slow, with
// signals arriving while the write waits.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace clockcast {
namespace {

TEST(PosixWrite, ShortAndInterruptedWritesAreCarriedOn) {
  // 100 KiB into an empty pipe of 64 KiB: the first signal cuts the write
  // short after 64 KiB, the second interrupts the next one before any byte
  // went (EINTR). Both must be carried on until everything has been taken.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  struct sigaction wake {
  }, old{};
  wake.sa_handler = [](int) {};  // no SA_RESTART: the write itself returns
  sigaction(SIGUSR1, &wake, &old);
  std::string data(100 * 1024, '\0');  // no two pieces alike: a piece written twice shows
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  std::string got;
  const pthread_t writer = pthread_self();
  std::thread reader([&] {
    for (int i = 0; i < 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      pthread_kill(writer, SIGUSR1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    char chunk[4096];
    for (ssize_t n; got.size() < data.size() && (n = read(ends[0], chunk, sizeof chunk)) > 0;) {
      got.append(chunk, static_cast<std::size_t>(n));
    }
  });
  const int error = platform::WriteFile(ends[1], data.data(), data.size());
  close(ends[1]);
  reader.join();
  close(ends[0]);
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_EQ(error, 0);
  EXPECT_TRUE(got == data) << got.size() << " bytes";
}

}  // namespace
}  // namespace clockcast
