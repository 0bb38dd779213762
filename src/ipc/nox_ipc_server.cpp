#include "ipc/nox_ipc_server.h"

#include <wx/log.h>

#include "ipc/control_host.h"
#include "logger/log_ops.h"

std::string NOXIPCServerConn::OnStartAdvise(const std::string& body) {
  const std::string answer = IPCServerConnection::OnStartAdvise(body);
  return OnStartPushes(body) ? answer : "0";
}

bool NOXIPCServerConn::OnStartPushes(const std::string&) {
  log_debug("IPC(Server): start advise");
  host_.post_job([h = &host_] { h->push_remote_info(); });
  return true;
}

bool NOXIPCServerConn::AcceptPeer(uid_t uid) {
  if (IPCServerConnection::AcceptPeer(uid)) return true;
  wxLogMessage("IPC(Server): refused a control connection from uid %lu", static_cast<unsigned long>(uid));
  return false;
}

void NOXIPCServerConn::OnPushWritten(const std::string& body, int result) {
  if (result >= 0)
    log_debug("IPC(Server): Advise " + to_wide(body));
  else
    log_debug(wxString::Format("IPC(Server): Advise %s failed", to_wide(body)));
}

void NOXIPCServerConn::OnPushesDropped(std::size_t count) {
  wxLogMessage("IPC(Server): %lu status pushes dropped, the push queue was full", static_cast<unsigned long>(count));
}

bool NOXIPCServer::Create(const wxString& path) { return IPCServer::Create(to_narrow(path)); }

void NOXIPCServer::Advise(const wxString& text) {
  if (conn_) conn_->QueuePush(to_narrow(text));
}
