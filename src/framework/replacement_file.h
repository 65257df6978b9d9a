#pragma once

#include <sys/types.h>

#include <string>

namespace framework {

// A new version of a file, written beside it and put in place whole by commit(): until then the
// previous file stays as it was, and a version that is dropped, fails or is cut short by SIGINT,
// SIGTERM or SIGHUP leaves nothing behind.
//
// - A name that is a symbolic link updates the file the link points to; the link stays.
// - An existing file that is not a regular file (a device node, a FIFO) is written through in
//   place, never replaced: renaming over /dev/null would delete the device.
// - The new version is an unnamed file (O_TMPFILE) where the file system offers one, linked in
//   at the end, so even a killed process leaves nothing; elsewhere it is a hidden temporary
//   beside the target, which the signal handlers remove.
// - A replaced file keeps its permission bits; the replacement takes the file's FileLock.
class ReplacementFile {
 public:
  enum class Temporary {
    kUnnamedWherePossible,
    kNamed,  // as on a file system without unnamed files
  };

  explicit ReplacementFile(Temporary temporary = Temporary::kUnnamedWherePossible)
      : temporary_(temporary) {}
  ~ReplacementFile();  // drops an uncommitted version
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Opens the new version of `path` for reading and writing (a device or FIFO: for writing).
  // False with errno set when nothing can be written there.
  bool open(const std::string& path);
  int descriptor() const { return fd_; }
  // Flushes the new version to the disk and puts it in place. False (the previous file
  // untouched, nothing left behind) on any failure.
  bool commit();
  void discard();

 private:
  std::string hiddenName() const;
  bool openTemporary();
  bool linkInPlace();

  Temporary temporary_;
  std::string target_;  // the file to replace, symbolic links followed
  std::string prefix_;  // its folder with the final slash; empty for the current folder
  std::string named_;   // the hidden temporary's name; empty while it is unnamed
  int fd_ = -1;
  int slot_ = -1;               // where the signal handlers find named_
  bool writesThrough_ = false;  // a device node or FIFO, written in place
  bool keepMode_ = false;
  mode_t mode_ = 0;
};

}  // namespace framework
