// The one error family of the core. Thrown where a fault is seen, with the file,
// record or value in its message; caught only at a front end's command boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace tavex {

// A failure a user can act on: "what failed: on which file, record or value".
// Messages are lowercase, specific and carry no trailing period.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// The message of errno `err` as the system words it, for "action FILE: reason" texts.
std::string SystemMessage(int err);

}  // namespace tavex
