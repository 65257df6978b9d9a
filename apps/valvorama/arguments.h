#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The words after the command name, consumed from the front. Options and plain arguments may
// come in any order; a word "--" ends the options, so every word after it is a plain argument.
class Arguments {
 public:
  Arguments(int argc, char** argv, int first);

  bool empty() const { return next_ >= words_.size(); }
  // Takes the next word if it equals `option` ("--keep-latency").
  bool take(const char* option);
  // Takes `option` and its value ("--tail 3" or "--tail=3"); throws when the value is missing
  // or empty.
  bool takeValue(const char* option, std::string& value);
  // The next word, which must be a plain argument (not an option) named `what`.
  std::string positional(const char* what);
  // Throws on any word left over.
  void finish() const;
  bool helpRequested() const;

 private:
  bool optionsEnded() const { return next_ >= optionsEnd_; }

  std::vector<std::string> words_;
  size_t next_ = 0;
  size_t optionsEnd_ = SIZE_MAX;  // the first word after "--" (which is not kept)
};

// Parses a decimal number in [min, max] or throws naming `what`.
double parseNumber(const std::string& text, double min, double max, const char* what);
int parseInteger(const std::string& text, int min, int max, const char* what);
