// Where status pushes for a connected user interface go. The application owns the one
// instance; until the control channel is attached it drops every text.
#pragma once

#include <wx/string.h>

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
