#include "model/tree.h"

#include <algorithm>
#include <functional>

wxMutex tree_mutex(wxMUTEX_DEFAULT);
std::atomic<bool> bNeedDelete{false};

namespace {

// Depth-first pre-order over children; a matching child is returned before its children.
const NodePtr* find_slot(const Cluster& c, const std::string& name, bool recursive) {
  for (const auto& child : c.children) {
    if (child->name == name) return &child;
    if (recursive && !child->isRemote()) {
      if (const NodePtr* hit = find_slot(static_cast<const Cluster&>(*child), name, true)) return hit;
    }
  }
  return nullptr;
}

void erase_child(Cluster& c, const IRemote* node) {
  c.children.erase(std::remove_if(c.children.begin(), c.children.end(),
                                  [node](const NodePtr& p) { return p.get() == node; }),
                   c.children.end());
}

}  // namespace

Cluster::~Cluster() {
  // Children may still be held elsewhere (a queued datagram); they must not point back here.
  for (auto& c : children) c->parent = nullptr;
  for (auto& c : trash) c->parent = nullptr;
}

int Cluster::getShutStatus() const {
  int r = 0;
  for (const auto& child : children) {
    const int a = child->getShutStatus();
    if (a == Unknown) continue;
    if (r == Unknown) {
      if (a == Warning) return Warning;
      r = a;
      continue;
    }
    if (a == Warning || (a == Normal && r == Shutting) || (a == Shutting && r == Normal)) return Warning;
    r = a;
  }
  return r == Unknown ? Normal : r;
}

int Non_Cluster::getShutStatus() const {
  int result = Normal;
  for (const auto& child : children) {
    const int s = child->getShutStatus();
    if (s == Shutting) return Shutting;
    if (s == Warning) result = Warning;
  }
  return result;
}

IRemote* Cluster::find(const std::string& name, bool recursive) const {
  const NodePtr* slot = find_slot(*this, name, recursive);
  return slot ? slot->get() : nullptr;
}

NodePtr Cluster::findShared(const std::string& name) const {
  const NodePtr* slot = find_slot(*this, name, true);
  return slot ? *slot : nullptr;
}

Cluster* Cluster::findCluster(const std::string& name) const {
  IRemote* n = find(name, true);
  return (n && !n->isRemote()) ? static_cast<Cluster*>(n) : nullptr;
}

Remote* Cluster::findRemote(const std::string& name) const {
  IRemote* n = find(name, true);
  return (n && n->isRemote()) ? static_cast<Remote*>(n) : nullptr;
}

RemotePtr Cluster::findRemoteShared(const std::string& name) const {
  NodePtr n = findShared(name);
  return (n && n->isRemote()) ? std::static_pointer_cast<Remote>(n) : nullptr;
}

Remote* Cluster::findByAddress(const sockaddr* addr, const IRemote* skip, bool connectedOnly) const {
  if (!addr) return nullptr;
  for (const auto& child : children) {
    if (child.get() == skip) continue;
    if (child->isRemote()) {
      auto* r = static_cast<Remote*>(child.get());
      if (!r->addrInfo) continue;
      if (connectedOnly && r->getConnStatus() != Connected) continue;
      if (sameEndpoint(r->addrInfo->ai_addr, addr)) return r;
    } else if (Remote* hit = static_cast<Cluster*>(child.get())->findByAddress(addr, skip, false)) {
      return hit;
    }
  }
  return nullptr;
}

bool Cluster::attach(IRemote* node) {
  if (!node) return false;
  if (node->parent == this) return true;
  for (const Cluster* a = this; a; a = a->parent)
    if (a == node) return false;
  Cluster* old = node->parent;
  if (!old) return false;  // only nodes of a tree can move; the root has no owner to take it from
  NodePtr keep;
  for (const auto& c : old->children)
    if (c.get() == node) keep = c;
  if (!keep) return false;
  erase_child(*old, node);
  children.push_back(keep);
  node->parent = this;
  return true;
}

RemotePtr Cluster::addRemote(const std::string& n, const std::string& serv, const std::string& model,
                             const std::string& powerby) {
  if (n == name || find(n, true)) return nullptr;
  auto r = std::make_shared<Remote>(n, serv, model, powerby, this);
  children.push_back(r);
  return r;
}

ClusterPtr Cluster::addCluster(const std::string& n) {
  if (n == name || find(n, true)) return nullptr;
  auto c = std::make_shared<Cluster>(n, this);
  children.push_back(c);
  return c;
}

bool Cluster::removeNode(const std::string& n) {
  NodePtr node = findShared(n);
  if (!node || !node->parent) return false;
  Cluster* parent = node->parent;
  erase_child(*parent, node.get());
  moveToTrash(node);
  return true;
}

void Cluster::moveToTrash(NodePtr node) {
  if (!node) return;
  if (trash.size() >= kTrashSize) {
    trash.front()->parent = nullptr;
    trash.erase(trash.begin());
  }
  // A trashed node keeps its parent pointer only while that parent is alive; the trash owner
  // outlives it, so point it there.
  node->parent = this;
  trash.push_back(std::move(node));
}

Remote::Remote(const std::string& n, const std::string& s, const std::string& m, const std::string& p,
               Cluster* par)
    : IRemote(n, par), serv(s.empty() ? kDefaultServ : s), model(m), powerby(p) {
  events.powerby = p;
}

int Remote::getShutStatus() const { return connStatus == Connected ? events.getShutStatus() : Unknown; }

bool Remote::setModel(const std::string& m) {
  model = m;
  return true;
}

bool Remote::setPowerBy(const std::string& p) {
  powerby = p;
  events.powerby = p;
  return true;
}

void Remote::setConnStatus(int status) {
  prevConnStatus = connStatus;
  connStatus = status;
  if (status != Connected) events.resetEvents();
}

std::string Remote::eventStatusText() const {
  std::string s(kEventCount, '0');
  for (int i = 0; i < kEventCount; ++i) s[i] = static_cast<char>('0' + getEventStatus(i));
  return s;
}

void Remote::setEventStates(const std::string& text) {
  if (connStatus != Connected || text.size() != static_cast<std::size_t>(kEventCount)) return;
  for (int i = 0; i < kEventCount; ++i) {
    const char c = text[i];
    events.entries[i].status = (c == '1' || c == '2' || c == '3') ? c - '0' : Normal;
  }
}
