#include "vst/vst_host.h"

#include <dlfcn.h>

namespace vsttest {

VstLibrary::VstLibrary() : handle_(dlopen(VALVORAMA_VST_PLUGIN, RTLD_NOW | RTLD_LOCAL)) {
  if (!handle_) error_ = dlerror();
}

VstLibrary::~VstLibrary() {
  if (handle_) dlclose(handle_);
}

vstabi::EntryPoint VstLibrary::entryPoint(const char* name) const {
  return handle_ ? reinterpret_cast<vstabi::EntryPoint>(dlsym(handle_, name)) : nullptr;
}

}  // namespace vsttest
