#pragma once
// The controller side of the network protocol: a UDP server on one address and port that answers
// version, module, read-data, data and take requests over a replaceable and a built-in module
// (ModuleMemory), with faults that can be injected while it runs. Used in-process by the tests and
// by the program kalvort-urvell-sim.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "module/ModuleMemory.h"
#include "transport/LanProtocol.h"

namespace kalvort::sim {

struct UrvellFaults {
  int drop_percent = 0;       // requests ignored entirely (not carried out, no reply)
  int delay_ms = 0;           // every reply sent this much later
  bool duplicate = false;     // every reply sent twice
  bool stale = false;         // a reply with the previous request's id and junk payload first
  int refuse_percent = 0;     // requests answered with ctRefused (255) and not carried out
  int short_percent = 0;      // replies cut to 6 bytes (shorter than a header)
  int corrupt_percent = 0;    // replies whose msg_size claims more bytes than the datagram has
  int lose_data_percent = 0;  // read-data requests carried out (the read moves on) but unanswered
  bool bad_crc = false;       // replies with a wrong checksum field (clients accept those)
  int64_t stop_after = -1;    // answer nothing after this many requests (counted from SetFaults)
  int64_t pull_after = -1;    // pull the replaceable module out after this many requests
  uint32_t seed = 1;          // for the percentages
};

struct UrvellConfig {
  std::string address = "127.0.0.1";
  uint16_t port = kControllerPort;
  bool allow_any_address = false;  // refused anyway while KALVORT_LOOPBACK_ONLY is set
  uint32_t version = 0x210;
  int claim_timeout_ms = 5000;     // a claim lapses when its holder is silent this long
  UrvellFaults faults;
};

class UrvellSimulator {
 public:
  // Subtypes of the take request.
  static constexpr uint32_t kSubtypeSMP = 1;  // replaceable module
  static constexpr uint32_t kSubtypeWMP = 2;  // built-in module

  UrvellSimulator(UrvellConfig config, std::shared_ptr<ModuleMemory> smp,
                  std::shared_ptr<ModuleMemory> wmp);
  ~UrvellSimulator();
  UrvellSimulator(const UrvellSimulator &) = delete;
  UrvellSimulator &operator=(const UrvellSimulator &) = delete;

  // Binds the socket and starts the server thread; false with a reason in `error` otherwise.
  bool Start(std::string *error = nullptr);
  // Ends the server thread; replies being delayed are dropped.
  void Stop();
  bool Running() const { return thread_.joinable(); }

  void SetFaults(const UrvellFaults &faults);
  UrvellFaults Faults() const;
  uint64_t Requests() const { return requests_.load(); }
  ModuleMemory &SMP() { return *smp_; }
  ModuleMemory &WMP() { return *wmp_; }
  const UrvellConfig &Config() const { return config_; }

 private:
  struct Client {
    uint32_t address = 0;
    uint16_t port = 0;
    bool operator==(const Client &) const = default;
  };
  struct Claim {
    Client holder;
    std::chrono::steady_clock::time_point last_seen;
  };
  struct Reply {
    bool send = true;
    uint8_t msg_type = 1;
    uint8_t cmd_type = 0;
    std::vector<uint8_t> payload;
  };

  void run();
  void handleDatagram(const uint8_t *data, size_t n, const Client &client);
  Reply handleRequest(const TMessage &h, const uint8_t *payload, size_t len, const Client &client);
  Reply handleModule(const TComand &c, ModuleMemory *m);
  Reply handleTake(const uint8_t *payload, size_t len, const Client &client);
  // The module the client talks to (its claim's, else the replaceable one); nullptr when another
  // client holds that module.
  ModuleMemory *moduleFor(const Client &client);
  void expireClaims();
  void sendTo(const Client &client, const uint8_t *data, size_t n);
  void sendReply(const Client &client, uint32_t id, const Reply &r, const UrvellFaults &f);
  bool chance(int percent);
  bool sleepFor(int ms);  // false when stopped meanwhile

  UrvellConfig config_;
  std::shared_ptr<ModuleMemory> smp_, wmp_;
  int fd_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex stop_mutex_;
  std::condition_variable stop_cv_;
  std::atomic<uint64_t> requests_{0};

  mutable std::mutex faults_mutex_;
  UrvellFaults faults_;
  int64_t fault_requests_ = 0;  // requests since SetFaults
  bool pulled_ = false;
  std::mt19937 rng_;

  // Server-thread state.
  std::map<uint32_t, Claim> claims_;  // by subtype
};

}  // namespace kalvort::sim
