#include "text/error.h"

#include <cstring>

namespace tavex {

std::string SystemMessage(int err) {
  char buffer[256];
  // GNU strerror_r returns the message, which may or may not be in buffer.
  const char* message = strerror_r(err, buffer, sizeof buffer);
  return message;
}

}  // namespace tavex
