#include "same_file.h"

#include <filesystem>

#include "cli_error.h"

void refuseSameFile(const std::string& written, const std::string& read, const char* role) {
  std::error_code ec;
  if (!read.empty() && std::filesystem::equivalent(written, read, ec)) {
    throw CliError("'" + written + "' is " + role + "; choose another name");
  }
}
