// SIGTERM and SIGHUP only raise flags; the main thread acts on them.
#pragma once

// Installs both handlers (each blocks the other signal while it runs). False on failure.
bool install_signal_handlers();

// Each returns true once per received signal and clears the flag.
bool take_terminate_request();
bool take_reload_request();
