#pragma once

#include <string>
#include <vector>

// The words after the command name, consumed from the front.
class Arguments {
 public:
  Arguments(int argc, char** argv, int first);

  bool empty() const { return next_ >= words_.size(); }
  // Takes the next word if it equals `option` ("--tail").
  bool take(const char* option);
  // Takes `option` and the word after it; throws when the value is missing.
  bool takeValue(const char* option, std::string& value);
  // The next word, which must be a plain argument (not an option) named `what`.
  std::string positional(const char* what);
  // Throws on any word left over.
  void finish() const;
  bool helpRequested() const;

 private:
  std::vector<std::string> words_;
  size_t next_ = 0;
};

// Parses a decimal number in [min, max] or throws naming `what`.
double parseNumber(const std::string& text, double min, double max, const char* what);
int parseInteger(const std::string& text, int min, int max, const char* what);
