#include "arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cli_error.h"

Arguments::Arguments(int argc, char** argv, int first) {
  for (int i = first; i < argc; ++i) {
    if (optionsEnd_ == SIZE_MAX && std::strcmp(argv[i], "--") == 0) {
      optionsEnd_ = words_.size();
    } else {
      words_.emplace_back(argv[i]);
    }
  }
}

bool Arguments::take(const char* option) {
  if (empty() || optionsEnded() || words_[next_] != option) return false;
  ++next_;
  return true;
}

bool Arguments::takeValue(const char* option, std::string& value) {
  if (empty() || optionsEnded()) return false;
  const std::string& word = words_[next_];
  const std::string prefix = std::string(option) + "=";
  size_t taken = 1;
  if (word.rfind(prefix, 0) == 0) {
    value = word.substr(prefix.size());
  } else if (word == option && next_ + 1 < optionsEnd_ && next_ + 1 < words_.size()) {
    value = words_[next_ + 1];
    taken = 2;
  } else if (word == option) {
    value.clear();
  } else {
    return false;
  }
  if (value.empty()) throw CliError(std::string(option) + " needs a value");
  next_ += taken;
  return true;
}

std::string Arguments::positional(const char* what) {
  if (empty()) throw CliError(std::string("missing ") + what);
  const std::string& word = words_[next_];
  if (!optionsEnded() && word.rfind("--", 0) == 0) {
    throw CliError("unknown option '" + word + "'");
  }
  ++next_;
  return word;
}

void Arguments::finish() const {
  if (empty()) return;
  const std::string& word = words_[next_];
  if (!optionsEnded() && word.rfind("--", 0) == 0) {
    throw CliError("unknown option '" + word + "'");
  }
  throw CliError("unexpected argument '" + word + "'");
}

bool Arguments::helpRequested() const {
  for (size_t i = 0; i < words_.size() && i < optionsEnd_; ++i) {
    if (words_[i] == "--help" || words_[i] == "-h") return true;
  }
  return false;
}

double parseNumber(const std::string& text, double min, double max, const char* what) {
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
    throw CliError(std::string(what) + " must be a number, not '" + text + "'");
  }
  if (value < min || value > max) {
    char range[96];
    std::snprintf(range, sizeof range, " must be between %g and %g, not '%s'", min, max,
                  text.c_str());
    throw CliError(std::string(what) + range);
  }
  return value;
}

int parseInteger(const std::string& text, int min, int max, const char* what) {
  const double value = parseNumber(text, min, max, what);
  if (value != std::floor(value)) {
    throw CliError(std::string(what) + " must be a whole number, not '" + text + "'");
  }
  return static_cast<int>(value);
}
