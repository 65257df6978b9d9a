#pragma once

#include <stdexcept>
#include <string>

// A problem with the command line or with a file the user named. main() prints its message on
// one line and exits with status 2.
class CliError : public std::runtime_error {
 public:
  explicit CliError(const std::string& message) : std::runtime_error(message) {}
};
