// The device tree: stand-alone remotes and clusters of remotes below one root.
//
// Nodes are held through shared pointers so that a datagram queued for the main thread
// keeps its remote alive even after the remote was removed and pushed out of the trash.
#pragma once

#include <wx/thread.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "model/endpoint.h"
#include "model/events.h"

enum ConnStatus { NotResolved = 0, NotConnected = 1, Connected = 2 };

class Cluster;
class Remote;

// Guards the whole device tree (the root and everything below it) across threads.
// Not recursive: a thread that holds it must never take it again.
extern wxMutex tree_mutex;
// Set while a control command removes nodes; long walks of the tree stop early.
extern std::atomic<bool> bNeedDelete;

class IRemote : public IShutStatus {
 public:
  IRemote(const std::string& n, Cluster* p) : name(n), parent(p) {}
  virtual bool isRemote() const = 0;

  std::string name;
  Cluster* parent;  // not owning; null for the root
};

using NodePtr = std::shared_ptr<IRemote>;
using RemotePtr = std::shared_ptr<Remote>;
using ClusterPtr = std::shared_ptr<Cluster>;

class Cluster : public IRemote {
 public:
  static constexpr std::size_t kTrashSize = 10;

  Cluster(const std::string& n, Cluster* p) : IRemote(n, p) {}
  ~Cluster() override;

  // Cluster aggregate: Shutting only when every reporting member is Shutting, Normal only
  // when every reporting member is Normal, otherwise Warning. Members at 0 do not vote.
  int getShutStatus() const override;
  bool isRemote() const override { return false; }

  // Moves node under this cluster. Refuses (false, no change) a null node, this cluster
  // itself and any ancestor of this cluster, which would make a cycle.
  virtual bool attach(IRemote* node);
  // Null when the name exists anywhere below or equals this cluster's own name.
  virtual RemotePtr addRemote(const std::string& name, const std::string& serv,
                              const std::string& model, const std::string& powerby);
  virtual ClusterPtr addCluster(const std::string& name);
  // Takes the named node out of its parent into this cluster's trash.
  virtual bool removeNode(const std::string& name);

  IRemote* find(const std::string& name, bool recursive = true) const;
  Cluster* findCluster(const std::string& name) const;
  Remote* findRemote(const std::string& name) const;
  // Shared handle of a node anywhere below (depth-first pre-order), or null.
  NodePtr findShared(const std::string& name) const;
  RemotePtr findRemoteShared(const std::string& name) const;
  // First remote whose resolved address equals addr. connectedOnly applies to the direct
  // children of this cluster only; members of sub-clusters qualify whatever their state.
  Remote* findByAddress(const sockaddr* addr, const IRemote* skip, bool connectedOnly) const;

  void moveToTrash(NodePtr node);

  std::vector<NodePtr> children;
  std::vector<NodePtr> trash;  // oldest first, at most kTrashSize
};

// The root: any stand-alone member that is Shutting makes it Shutting.
class Non_Cluster : public Cluster {
 public:
  Non_Cluster(const std::string& n, Cluster* p) : Cluster(n, p) {}
  int getShutStatus() const override;
};

class Remote : public IRemote {
 public:
  static constexpr const char* kDefaultServ = "2993";
  static constexpr uint32_t kNoDelay = 65535;

  Remote(const std::string& n, const std::string& serv, const std::string& model,
         const std::string& powerby, Cluster* p);

  // The events' status while Connected, else Unknown.
  int getShutStatus() const override;
  bool isRemote() const override { return true; }
  virtual bool setModel(const std::string& m);
  virtual bool setPowerBy(const std::string& p);

  int getConnStatus() const { return connStatus; }
  int getPrevConnStatus() const { return prevConnStatus; }
  // Leaving Connected resets every event entry.
  void setConnStatus(int status);

  uint32_t getUpsShutdownDelay() const { return connStatus == Connected ? upsShutdownDelay : kNoDelay; }
  void setUpsShutdownDelay(uint32_t d) { upsShutdownDelay = d; }

  int getEventStatus(int i) const { return events.getEventStatus(i); }
  void setEventStatus(int i, int s) { events.setEventStatus(i, s); }
  int getEventValue(int i) const { return events.getEventValue(i); }
  void setEventValue(int i, int v) { events.setEventValue(i, v); }
  std::string eventStatusText() const;
  void setEventStates(const std::string& text);

  // Whole seconds from the last reception to the last query.
  long secondsWithoutReply() const { return static_cast<long>(lastSendTime.load() - lastRecvTime.load()); }

  const std::string& getHostName() const { return hostName; }
  const std::string& getIp() const { return ip; }
  const std::string& getServ() const { return serv; }
  const std::string& getModel() const { return model; }
  const std::string& getPowerBy() const { return powerby; }
  int getPowerSource() const { return powerSource; }
  void setPowerSource(int s) { powerSource = s; }
  AddrInfoPtr getAddrInfo() const { return addrInfo; }
  void setAddrInfo(AddrInfoPtr a) { addrInfo = std::move(a); }

  // Seconds since the epoch; written by the receiver and sender threads, hence atomic.
  std::atomic<std::time_t> lastSendTime{0};
  std::atomic<std::time_t> lastRecvTime{0};
  std::string hostName;
  std::string ip;
  std::string serv;
  std::string model;
  std::string powerby;
  AddrInfoPtr addrInfo;
  uint32_t upsShutdownDelay = kNoDelay;
  int32_t powerSource = 0;
  int32_t connStatus = NotResolved;
  int32_t prevConnStatus = NotResolved;
  EvtList events;
};
