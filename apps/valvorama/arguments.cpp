#include "arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "cli_error.h"

Arguments::Arguments(int argc, char** argv, int first) {
  for (int i = first; i < argc; ++i)
    words_.emplace_back(argv[i]);
}

bool Arguments::take(const char* option) {
  if (!empty() && words_[next_] == option) {
    ++next_;
    return true;
  }
  return false;
}

bool Arguments::takeValue(const char* option, std::string& value) {
  if (empty()) return false;
  const std::string& word = words_[next_];
  const std::string prefix = std::string(option) + "=";
  if (word.rfind(prefix, 0) == 0) {
    value = word.substr(prefix.size());
    ++next_;
    return true;
  }
  if (word != option) return false;
  if (next_ + 1 >= words_.size()) throw CliError(std::string(option) + " needs a value");
  value = words_[next_ + 1];
  next_ += 2;
  return true;
}

std::string Arguments::positional(const char* what) {
  if (empty()) throw CliError(std::string("missing ") + what);
  const std::string& word = words_[next_];
  if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
    throw CliError("unknown option '" + word + "'");
  }
  ++next_;
  return word;
}

void Arguments::finish() const {
  if (empty()) return;
  const std::string& word = words_[next_];
  if (word.rfind("--", 0) == 0) throw CliError("unknown option '" + word + "'");
  throw CliError("unexpected argument '" + word + "'");
}

bool Arguments::helpRequested() const {
  for (const auto& w : words_) {
    if (w == "--help" || w == "-h") return true;
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
