// The configuration file "Noxguard.conf": the settings, the accepted-event flags and the
// device tree, kept as one XML document in the agent's base directory.
#pragma once

#include <wx/string.h>

#include <cstddef>

class NOXConfig;
class Cluster;

class NOXCfgHelper {
 public:
  static constexpr const char* kFileName = "Noxguard.conf";
  static constexpr const char* kRejectedName = "Noxguard.conf.bad";
  // A real file holds a few kilobytes; anything far larger is refused unread.
  static constexpr std::size_t kMaxFileBytes = 4u << 20;

  // Fills cfg and the (empty) root from dir + "Noxguard.conf"; dir ends with "/".
  // False, with nothing changed, when a pointer is null or the file is missing, unreadable,
  // too large, malformed or not a NOX document. Single bad values never fail a load: they
  // are skipped and the rest is read.
  static bool load(NOXConfig* cfg, Cluster* root, const wxString& dir);

  // Replaces dir + "Noxguard.conf" as a whole (owner read/write only, since it holds the
  // password). False when a pointer is null or the file cannot be written; the previous
  // file then stays as it was.
  static bool save(const NOXConfig* cfg, const Cluster* root, const wxString& dir);

  // Keeps a file that load refused as dir + "Noxguard.conf.bad" before defaults overwrite
  // it, so a hand-edit gone wrong is not lost. True when a copy was made.
  static bool preserve_rejected(const wxString& dir);

  // "0..." and "false..." (any case) are false, "1..." and "true..." are true, anything
  // else is the default.
  static bool parse_bool(const wxString& text, bool def);
};
