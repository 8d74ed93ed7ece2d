// Reading a piece of an open file at an offset, whole: pread returns short counts and
// EINTR, and every reader of pieces needs the same loop around it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace tavex {

// Reads `size` bytes at `at` of `fd` into `out`. Returns the count read, short only where
// the file ends, or -1 with errno set on a read fault.
inline ssize_t ReadAt(int fd, char* out, std::size_t size, std::uint64_t at) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = pread(fd, out + done, size - done, static_cast<off_t>(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace tavex
