#include "app_links.h"

#include <cstdlib>

#include "helper/clock.h"
#include "ipc/push_bodies.h"
#include "logger/log_ops.h"
#include "noxservice_app.h"
#include "server/noxserver.h"

RemotePtr AppLinks::lookupSender(const sockaddr* from) { return app_.address_book().lookup(from); }

void AppLinks::deliver(RemotePayload&& payload) {
  app_.datagram_queue().push(std::move(payload), [this](const RemotePayload& p) {
    if (p.remote) app_.watch_table().noteReply(p.remote->name, clock_now(), std::rand());
  });
}

std::string AppLinks::alias() { return app_.cfg()->alias(); }

int AppLinks::sendTo(const addrinfo* ai, const unsigned char* bytes, std::size_t len) {
  return app_.server() ? app_.server()->sendTo(ai, bytes, len) : -1;
}

void AppLinks::advise(const wxString& text) { app_.pusher().Advise(text); }

wxString AppLinks::remoteInfoText(const Remote& remote) { return to_wide(remote_info_text(remote)); }

void AppLinks::storeAddress(Remote& remote, AddrInfoPtr address) {
  wxMutexLocker lock(app_.addr_lock());
  remote.setAddrInfo(std::move(address));
}

void AppLinks::addressesChanged() { app_.publish_addresses(); }

NOXConfig& AppLinks::config() { return *app_.cfg(); }
bool AppLinks::stop_comm() { return app_.stop_comm(); }
void AppLinks::start_comm() { app_.start_comm(); }
void AppLinks::exit_main_loop() { app_.ExitMainLoop(); }
void AppLinks::discard_datagrams() { app_.datagram_queue().clear(); }
PushSink& AppLinks::pusher() { return app_.pusher(); }

Cluster& AppLinks::root() { return *app_.model(); }
std::string AppLinks::base_dir() const { return to_narrow(app_.base_dir()); }
void AppLinks::post_job(std::function<void()> job) { app_.post_job(std::move(job)); }

void AppLinks::erase_watch(const std::string& name) {
  app_.watch_table().erase(name);
  // The removed remote must no longer be matched by the receiver.
  app_.publish_addresses();
}

void AppLinks::rebuild_query_block() { app_.rebuild_query_block(); }
void AppLinks::push_remote_info() { ::push_remote_info(*app_.model(), app_.pusher()); }
void AppLinks::save_config_job() { app_.save_config_job(); }
void AppLinks::cluster_shutdown_check() { app_.cluster_shutdown_check(true); }
void AppLinks::shut() { app_.shut(); }
void AppLinks::request_exit() { app_.ExitMainLoop(); }
