// The fourteen event kinds a UPS card reports, their per-remote entries and the one
// process-wide set of event kinds that may drive the host into a shutdown.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Event codes: the index in every event list, the bit in the accepted set, the byte in a
// notification body and the digit in a remote's status text.
enum EventCode {
  AcFail = 0,
  BatteryLow,
  Overload,
  OverTp,
  WSS,
  SSS,
  EMPTp,
  EMPHum,
  EMPCt1,
  EMPCt2,
  Capacity,
  RemainTime,
  LS1,
  LS2,
};
constexpr int kEventCount = 14;

// Shutdown status scale, shared by entries, lists, remotes and clusters.
enum ShutStatus { Unknown = 0, Normal = 1, Warning = 2, Shutting = 3 };

class IShutStatus {
 public:
  virtual int getShutStatus() const = 0;
  virtual ~IShutStatus() = default;
};

class ShutEvt : public IShutStatus {
 public:
  int getShutStatus() const override { return status; }
  // A status other than Warning clears the stored warning value.
  void setStatus(int s) {
    status = s;
    if (s != Warning) value = 0;
  }

  int32_t status = 0;
  int32_t value = 0;
};

// Fourteen flags, one per event code. Written by the control thread and the loader,
// read by every thread: the bits are one atomic word.
class EvtAcptList {
 public:
  explicit EvtAcptList(uint16_t bits) : bits_(bits) {}
  // Codes above 13 are refused: false, nothing changes.
  bool set(int code, bool accepted);
  bool test(int code) const;
  uint16_t bits() const { return bits_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint16_t> bits_;
};

constexpr uint16_t kDefaultAcceptedEvents = 0x3C33;

// The process-wide accepted-event set; created before main, never replaced.
extern const std::shared_ptr<EvtAcptList> accepted_events;
// The same set, safe to reach from other files' static initialisers, which may run before
// accepted_events itself is initialised.
const std::shared_ptr<EvtAcptList>& shared_accepted_events();

class EvtList : public IShutStatus {
 public:
  EvtList();
  // Largest effective status over the entries, stopping at the first Shutting; 0 when all are 0.
  int getShutStatus() const override;

  // Effective status: load-segment events count only for the segment that feeds the host,
  // and a shutting event that is not accepted is only a warning.
  int getEventStatus(int index) const;
  int getRawStatus(int index) const { return entries[index].status; }
  void setEventStatus(int index, int status) { entries[index].setStatus(status); }
  int getEventValue(int index) const { return entries[index].value; }
  void setEventValue(int index, int value) { entries[index].value = value; }
  void resetEvents();

  std::vector<ShutEvt> entries;
  std::shared_ptr<EvtAcptList> acceptList;
  std::string powerby;
};
