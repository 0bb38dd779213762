// The platform commands of the protective action: power the host off, or hibernate it.
// A shutter is made for each action and let go as soon as its command has returned.
#pragma once

#include <functional>
#include <memory>

class NOXShutter {
 public:
  virtual ~NOXShutter() = default;
  // Runs the framework's power-off ("init 0" here); true when the command exited 0.
  virtual bool shutdown();
};

class NOXShutterUnix : public NOXShutter {
 public:
  // Runs "pm-hibernate" and returns once it has ended, that is after the host woke up;
  // true when it exited 0.
  virtual bool sleep();
};

// Tests swap in a shutter that records instead of powering anything off.
using ShutterFactory = std::function<std::shared_ptr<NOXShutterUnix>()>;

std::shared_ptr<NOXShutterUnix> make_shutter();
// An empty factory restores the real shutter. Set from the main thread only.
void set_shutter_factory(ShutterFactory factory);
