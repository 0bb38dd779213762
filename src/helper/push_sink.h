// Where status pushes for a connected user interface go. The application owns the one
// instance; until the control channel is attached it drops every text.
#pragma once

#include <wx/string.h>

#include <mutex>

class PushSink {
 public:
  virtual ~PushSink() = default;
  // Must not block the caller on the user interface.
  virtual void Advise(const wxString& text) = 0;
};

class NullPushSink : public PushSink {
 public:
  void Advise(const wxString&) override {}
};

// A fixed address for pushes whose real target comes and goes: texts are handed on while a
// target is set and dropped otherwise.
class PushRelay : public PushSink {
 public:
  void set_target(PushSink* target) {
    std::lock_guard<std::mutex> g(lock_);
    target_ = target;
  }
  void Advise(const wxString& text) override {
    std::lock_guard<std::mutex> g(lock_);
    if (target_) target_->Advise(text);
  }

 private:
  std::mutex lock_;  // guards target_
  PushSink* target_ = nullptr;
};
