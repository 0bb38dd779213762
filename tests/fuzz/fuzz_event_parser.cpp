// libFuzzer target over what a card's datagram goes through: the reception rules, the length
// check, decryption and the event parser, plus the two datagram decoders. Any broken rule
// aborts. Built and run by scripts/fuzz.
//
// The first input byte chooses the road and the remote's starting state; the rest is the
// datagram. On the "plain" road the rest is a plain body that is encrypted and marked first,
// so the parser sees well-formed notifications, which random bytes would never reach.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cipher/block_cipher.h"
#include "server/datagram.h"
#include "server/event_parser.h"
#include "server/receive_rules.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

class OneCardSink : public ReceiveSink {
 public:
  explicit OneCardSink(RemotePtr r, bool known) : remote_(std::move(r)), known_(known) {}
  RemotePtr lookupSender(const sockaddr*) override { return known_ ? remote_ : nullptr; }
  void deliver(RemotePayload&& p) override { queue.push(std::move(p)); }
  DatagramQueue queue;

 private:
  RemotePtr remote_;
  bool known_;
};

const char* const kPowerBy[] = {"Master", "LS1", "LS2", ""};

void check_remote(const Remote& r) {
  for (int i = 0; i < kEventCount; ++i) {
    const int s = r.getEventStatus(i);
    require(s >= Unknown && s <= Shutting);
  }
  require(r.getShutStatus() >= Unknown && r.getShutStatus() <= Shutting);
  require(r.getUpsShutdownDelay() <= 65535);
  require(r.eventStatusText().size() == static_cast<std::size_t>(kEventCount));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = in[0];
  const uint8_t* rest = in + 1;
  const size_t n = size - 1;

  auto remote = std::make_shared<Remote>("card", "2993", "", kPowerBy[mode & 3], nullptr);
  remote->setConnStatus((mode >> 2) & 1 ? Connected : NotConnected);
  const bool plain = (mode >> 3) & 1;
  const bool known = ((mode >> 4) & 3) != 0;

  std::vector<unsigned char> dgram(rest, rest + n);
  if (plain) {
    // Marks, then the body padded to whole blocks and encrypted.
    std::vector<unsigned char> body(rest, rest + n);
    body.resize((body.size() + 15) / 16 * 16, 0);
    require(cipher::encrypt(body.data(), body.size(), cipher::deviceKey));
    dgram.assign({datagram::kMark0, datagram::kMark1});
    dgram.insert(dgram.end(), body.begin(), body.end());
  }

  sockaddr_in from{};
  from.sin_family = AF_INET;
  OneCardSink sink(remote, known);
  const Intake got = take_datagram(sink, reinterpret_cast<sockaddr*>(&from), sizeof from, dgram.data(), dgram.size());
  auto queued = sink.queue.take_all();

  const size_t kept = dgram.size() < datagram::kMaxRead ? dgram.size() : datagram::kMaxRead;
  const bool marked = kept > 2 && dgram[0] == 0x55 && dgram[1] == 0xAA;
  if (dgram.empty()) require(got == Intake::Empty);
  else if (!known) require(got == Intake::UnknownSender);
  else require(got == (marked ? Intake::Queued : Intake::Malformed));
  require(queued.size() == (got == Intake::Queued ? 1u : 0u));

  for (RemotePayload& p : queued) {
    require(p.remote == remote);
    require(p.len == kept - 2);
    require(std::memcmp(p.data, dgram.data() + 2, p.len) == 0);
    for (size_t i = p.len; i < RemotePayload::kDataSize; ++i) require(p.data[i] == 0);
    // What the main thread does with it.
    if (p.len < datagram::kBodySize) continue;
    require(cipher::decrypt(p.data, datagram::kBodySize, cipher::deviceKey));
    std::vector<int> restored, changed, active;
    EventParser(remote.get(), p.data, p.len, restored, changed, active);
    for (const auto* list : {&restored, &changed, &active})
      for (int code : *list) require(code >= 0 && code < kEventCount);
    require(remote->getPowerSource() == p.data[datagram::kSourceOffset]);
    check_remote(*remote);
    // A second identical notification reports no new warning value.
    std::vector<int> r2, c2, a2;
    EventParser(remote.get(), p.data, p.len, r2, c2, a2);
    require(c2.empty());
    check_remote(*remote);
  }

  // The decoders must refuse or accept without reading past the input.
  CardState state;
  decode_notification(rest, n, state);
  std::string alias, suffix;
  if (decode_query(rest, n, alias, suffix)) require(alias.size() + suffix.size() <= datagram::kQueryBodySize);
  // Raw bytes straight into the parser: garbage bodies are parsed without complaint.
  std::vector<int> r3, c3, a3;
  EventParser(remote.get(), rest, n, r3, c3, a3);
  check_remote(*remote);
  return 0;
}
