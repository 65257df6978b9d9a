#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

// A registry file of its own for one test, in a fresh folder removed at the end, and the only
// one the driver list reads while the object lives.
class AsioTestRegistry {
 public:
  static constexpr const char* kLoopbackClass = "{4C6F6F70-6261-636B-0000-56616C766F72}";

  AsioTestRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "valvo-asio-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data()) ? pattern : "";
    file_ = folder_ + "/drivers.reg";
    std::ofstream(file_, std::ios::trunc);
    ::setenv("VALVORAMA_DRIVER_REGISTRY", file_.c_str(), 1);
  }
  ~AsioTestRegistry() {
    ::unsetenv("VALVORAMA_DRIVER_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // A driver under "software\asio\<key>" whose class names `library`.
  void addDriver(const std::string& key, const std::string& description,
                 const std::string& library = LOOPBACK_DRIVER_PATH,
                 const std::string& clsid = kLoopbackClass) {
    std::ofstream out(file_, std::ios::app);
    out << "[software\\asio\\" << key << "]\n";
    if (!description.empty()) out << "description = " << description << "\n";
    out << "clsid = " << clsid << "\n[clsid\\" << clsid << "\\InprocServer32]\n@ = " << library
        << "\n";
  }
  std::string path(const std::string& name) const { return folder_ + "/" + name; }

 private:
  std::string folder_;
  std::string file_;
};

}  // namespace testsupport
