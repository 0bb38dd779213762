#include "output/shutter.h"

#include <wx/utils.h>

#include <cstdlib>
#include <mutex>

namespace {
std::mutex factory_lock;  // guards factory
ShutterFactory factory;
}  // namespace

bool NOXShutter::shutdown() { return wxShutdown(wxSHUTDOWN_POWEROFF | wxSHUTDOWN_FORCE); }

bool NOXShutterUnix::sleep() { return std::system("pm-hibernate") == 0; }

std::shared_ptr<NOXShutterUnix> make_shutter() {
  ShutterFactory f;
  {
    std::lock_guard<std::mutex> g(factory_lock);
    f = factory;
  }
  if (f) return f();
  return std::make_shared<NOXShutterUnix>();
}

void set_shutter_factory(ShutterFactory f) {
  std::lock_guard<std::mutex> g(factory_lock);
  factory = std::move(f);
}
