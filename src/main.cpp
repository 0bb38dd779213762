#include <wx/app.h>

#include "daemon.h"
#include "noxservice_app.h"
#include "signals.h"

wxIMPLEMENT_APP_NO_MAIN(NOXServiceApp);

int main(int argc, char** argv) {
  const std::string prog = program_name(argc > 0 ? argv[0] : "");
  daemonize(prog.c_str());
  if (lock_pid_file() != 0) return 1;
  if (!install_signal_handlers()) return 1;
  wxEntry(argc, argv);
  return 0;
}
