#include "sim/UrvellSimulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "transport/LanUnit.h"

namespace kalvort::sim {

namespace {

uint16_t be16(const uint8_t *p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t *p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t le32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void putLE32(std::vector<uint8_t> &v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

}  // namespace

UrvellSimulator::UrvellSimulator(UrvellConfig config, std::shared_ptr<ModuleMemory> smp,
                                 std::shared_ptr<ModuleMemory> wmp)
    : config_(std::move(config)),
      smp_(smp ? std::move(smp) : std::make_shared<ModuleMemory>(0)),
      wmp_(wmp ? std::move(wmp) : std::make_shared<ModuleMemory>(0)),
      faults_(config_.faults),
      rng_(config_.faults.seed) {}

UrvellSimulator::~UrvellSimulator() { Stop(); }

bool UrvellSimulator::Start(std::string *error) {
  auto fail = [&](const std::string &why) {
    if (error) *error = why;
    if (fd_ >= 0) ::close(fd_);
    for (int &w : wake_)
      if (w >= 0) ::close(w), w = -1;
    fd_ = -1;
    return false;
  };
  if (Running()) return fail("already running");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(config_.port);
  if (inet_pton(AF_INET, config_.address.c_str(), &addr.sin_addr) != 1)
    return fail("not a dotted-decimal IPv4 address: " + config_.address);
  if (!lan_is_loopback(config_.address)) {
    if (!config_.allow_any_address)
      return fail("address outside 127.0.0.0/8 (use --allow-any-address): " + config_.address);
    if (lan_loopback_only())
      return fail("address outside 127.0.0.0/8 refused while KALVORT_LOOPBACK_ONLY is set");
  }
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd_ < 0) return fail(std::string("socket: ") + std::strerror(errno));
  if (::bind(fd_, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0)
    return fail("bind " + config_.address + ":" + std::to_string(config_.port) + ": " +
                std::strerror(errno));
  if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail(std::string("pipe: ") + std::strerror(errno));
  stop_ = false;
  thread_ = std::thread([this] { run(); });
  return true;
}

void UrvellSimulator::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(stop_mutex_);
    stop_ = true;
  }
  stop_cv_.notify_all();
  const uint8_t b = 1;
  [[maybe_unused]] ssize_t w = ::write(wake_[1], &b, 1);
  thread_.join();
  ::close(fd_);
  ::close(wake_[0]);
  ::close(wake_[1]);
  fd_ = wake_[0] = wake_[1] = -1;
}

void UrvellSimulator::SetFaults(const UrvellFaults &faults) {
  std::lock_guard lock(faults_mutex_);
  faults_ = faults;
  fault_requests_ = 0;
  pulled_ = false;
  rng_.seed(faults.seed);
}

UrvellFaults UrvellSimulator::Faults() const {
  std::lock_guard lock(faults_mutex_);
  return faults_;
}

bool UrvellSimulator::chance(int percent) {
  if (percent <= 0) return false;
  if (percent >= 100) return true;
  return static_cast<int>(rng_() % 100) < percent;
}

bool UrvellSimulator::sleepFor(int ms) {
  std::unique_lock lock(stop_mutex_);
  return !stop_cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stop_.load(); });
}

void UrvellSimulator::run() {
  std::vector<uint8_t> buf(kLanBufferSize);
  while (!stop_) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int r = ::poll(p, 2, -1);
    if (r < 0 && errno != EINTR) break;
    if (stop_) break;
    if (!(p[0].revents & POLLIN)) continue;
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0,
                                 reinterpret_cast<sockaddr *>(&from), &from_len);
    if (n < 0) continue;
    handleDatagram(buf.data(), static_cast<size_t>(n),
                   Client{from.sin_addr.s_addr, from.sin_port});
  }
}

void UrvellSimulator::handleDatagram(const uint8_t *data, size_t n, const Client &client) {
  requests_.fetch_add(1);
  UrvellFaults f;
  bool drop = false, refuse = false;
  {
    std::lock_guard lock(faults_mutex_);
    f = faults_;
    ++fault_requests_;
    if (f.pull_after >= 0 && fault_requests_ > f.pull_after && !pulled_) {
      smp_->Remove();
      pulled_ = true;
    }
    drop = (f.stop_after >= 0 && fault_requests_ > f.stop_after) || chance(f.drop_percent);
    refuse = !drop && chance(f.refuse_percent);
  }
  if (drop) return;
  TMessage h{};
  if (!parse_message(data, n, h)) return;  // not a message: a controller stays silent
  expireClaims();
  Reply reply;
  if (refuse) {
    reply.cmd_type = ctRefused;
  } else {
    reply = handleRequest(h, data + kMsgHeaderSize, h.msg_size - kMsgHeaderSize, client);
  }
  // Whoever talks keeps a claim alive.
  for (auto &[subtype, claim] : claims_)
    if (claim.holder == client) claim.last_seen = std::chrono::steady_clock::now();
  if (reply.send) sendReply(client, h.msg_id, reply, f);
}

UrvellSimulator::Reply UrvellSimulator::handleRequest(const TMessage &h, const uint8_t *payload,
                                                      size_t len, const Client &client) {
  Reply r;
  r.msg_type = mtCommand;
  r.cmd_type = h.cmd_type;
  if (h.msg_type == mtData) {  // one page (or less) for the sequential write
    r.cmd_type = 0;
    ModuleMemory *m = moduleFor(client);
    if (!m || len == 0 || len > kMaxDataPayload || !m->Write(payload, len)) r.cmd_type = ctRefused;
    return r;
  }
  switch (h.cmd_type) {
    case ctGetVersion:
      putLE32(r.payload, config_.version);
      return r;
    case ctTakeDevice:
      return handleTake(payload, len, client);
    case ctModule: {
      if (len < sizeof(TComand)) break;
      TComand c;
      std::memcpy(&c, payload, sizeof c);
      if (c.com_id == ciStopReadWrite || c.com_id == ciReadConfig) {
        // Answered for anyone, holder or not: opening a connection starts with a stop. A stop
        // from a client that does not hold the module is acknowledged but not carried out, so
        // that a probe or a second station never ends the holder's transfer.
        ModuleMemory *m = moduleFor(client);
        if (!m && c.com_id == ciStopReadWrite) return r;
        return handleModule(c, m ? m : smp_.get());
      }
      ModuleMemory *m = moduleFor(client);
      if (!m) break;
      return handleModule(c, m);
    }
    case ctReadData: {
      ModuleMemory *m = moduleFor(client);
      if (!m || len < 4) break;
      const uint32_t want = std::min<uint32_t>(le32(payload), kReadChunkMax);
      if (want == 0) break;
      r.msg_type = mtData;
      r.payload.resize(want);
      if (!m->Read(r.payload.data(), want)) break;
      return r;
    }
    default:
      break;
  }
  r.payload.clear();
  r.msg_type = mtCommand;
  r.cmd_type = ctRefused;
  return r;
}

UrvellSimulator::Reply UrvellSimulator::handleModule(const TComand &c, ModuleMemory *m) {
  Reply r;
  r.cmd_type = ctModule;
  bool ok = true;
  switch (c.com_id) {
    case ciStopReadWrite:
      m->Stop();
      break;
    case ciReadConfig: {
      const bool present = m->Present();
      r.payload = {static_cast<uint8_t>(present ? 1 : 0), 0, m->StatusByte()};
      break;
    }
    case ciSetBufferSize:
      ok = m->SetBufferSize(be16(c.data));
      break;
    case ciSetWriteAddr:
      ok = m->SetWriteAddress(be32(c.data));
      break;
    case ciSetReadAddr:
      ok = m->SetReadAddress(uint32_t(c.data[0]) << 16 | uint32_t(c.data[1]) << 8 | c.data[2]);
      break;
    case ciEraseBlocks:
      ok = m->EraseBlocks(be16(c.data), be16(c.data + 2));
      break;
    default:
      ok = false;
  }
  if (!ok) {
    r.cmd_type = ctRefused;
    r.payload.clear();
  }
  return r;
}

UrvellSimulator::Reply UrvellSimulator::handleTake(const uint8_t *payload, size_t len,
                                                   const Client &client) {
  Reply r;
  r.cmd_type = ctTakeDevice;
  if (len < 8) {
    r.cmd_type = ctRefused;
    return r;
  }
  const uint32_t subtype = le32(payload), value = le32(payload + 4);
  bool granted = true;
  if (value == 0) {  // release: gives back whatever this client holds
    for (auto it = claims_.begin(); it != claims_.end();)
      it = it->second.holder == client ? claims_.erase(it) : std::next(it);
  } else if (subtype == kSubtypeSMP || subtype == kSubtypeWMP) {
    auto it = claims_.find(subtype);
    if (it != claims_.end() && !(it->second.holder == client)) {
      granted = false;
    } else {
      // One client holds one module: taking the other gives the first back.
      for (auto o = claims_.begin(); o != claims_.end();)
        o = (o->second.holder == client && o->first != subtype) ? claims_.erase(o) : std::next(o);
      claims_[subtype] = Claim{client, std::chrono::steady_clock::now()};
    }
  } else {
    // Any other subtype (a probe) takes nothing; it is refused while someone else holds a module.
    for (const auto &[s, claim] : claims_)
      if (!(claim.holder == client)) granted = false;
  }
  putLE32(r.payload, granted ? 1 : 0);
  putLE32(r.payload, subtype);
  return r;
}

ModuleMemory *UrvellSimulator::moduleFor(const Client &client) {
  for (const auto &[subtype, claim] : claims_)
    if (claim.holder == client) return subtype == kSubtypeWMP ? wmp_.get() : smp_.get();
  auto it = claims_.find(kSubtypeSMP);
  if (it != claims_.end()) return nullptr;  // held by someone else
  return smp_.get();
}

void UrvellSimulator::expireClaims() {
  const auto now = std::chrono::steady_clock::now();
  for (auto it = claims_.begin(); it != claims_.end();)
    it = now - it->second.last_seen > std::chrono::milliseconds(config_.claim_timeout_ms)
             ? claims_.erase(it)
             : std::next(it);
}

void UrvellSimulator::sendTo(const Client &client, const uint8_t *data, size_t n) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = client.address;
  to.sin_port = client.port;
  ::sendto(fd_, data, n, MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

void UrvellSimulator::sendReply(const Client &client, uint32_t id, const Reply &r,
                                const UrvellFaults &f) {
  bool cut = false, corrupt = false, lose = false;
  {
    std::lock_guard lock(faults_mutex_);
    cut = chance(f.short_percent);
    corrupt = chance(f.corrupt_percent);
    lose = r.msg_type == mtData && chance(f.lose_data_percent);
  }
  if (lose) return;
  if (f.delay_ms > 0 && !sleepFor(f.delay_ms)) return;
  auto encode = [&](uint32_t msg_id, const std::vector<uint8_t> &payload) {
    std::vector<uint8_t> out(std::max(kMsgHeaderSize + payload.size(), kLanMinDatagram), 0);
    build_message(r.msg_type, r.cmd_type, msg_id, payload.data(), payload.size(), out.data());
    return out;
  };
  if (f.stale) {
    // An answer to an earlier request arriving late: junk that must not be taken for this reply.
    auto junk = encode(id - 1, std::vector<uint8_t>(r.payload.size(), 0xA5));
    sendTo(client, junk.data(), junk.size());
  }
  std::vector<uint8_t> out = encode(id, r.payload);
  size_t n = out.size();
  if (f.bad_crc) out[8] ^= 0x5A;
  if (corrupt) {
    const uint16_t claimed = static_cast<uint16_t>(n + 100);
    out[2] = static_cast<uint8_t>(claimed);
    out[3] = static_cast<uint8_t>(claimed >> 8);
  }
  if (cut) n = 6;
  sendTo(client, out.data(), n);
  if (f.duplicate) sendTo(client, out.data(), n);
}

}  // namespace kalvort::sim
