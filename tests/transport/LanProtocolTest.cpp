#include "transport/LanProtocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "support/UdpPeer.h"
#include "transport/LanUnit.h"

namespace kalvort {
namespace {

using test::Datagram;
using test::UdpPeer;

Datagram bytes(std::initializer_list<int> v) { return Datagram(v.begin(), v.end()); }

Datagram message(uint8_t type, uint8_t cmd, uint32_t id, const Datagram &payload) {
  Datagram out(kMsgHeaderSize + payload.size());
  build_message(type, cmd, id, payload.data(), payload.size(), out.data());
  return out;
}

uint32_t idOf(const Datagram &d) {
  uint32_t id;
  std::memcpy(&id, d.data() + 4, 4);
  return id;
}

TEST(LanProtocol, ChecksumAndWorkedMessages) {
  EXPECT_EQ(calc_crc(reinterpret_cast<const uint8_t *>("abc"), 3), 0x2ABu);
  EXPECT_EQ(calc_crc(nullptr, 0), 0u);

  TComand stop = make_comand(ciStopReadWrite);
  const Datagram stop_msg = message(mtCommand, ctModule, 5,
                                    Datagram(reinterpret_cast<uint8_t *>(&stop),
                                             reinterpret_cast<uint8_t *>(&stop) + sizeof stop));
  Datagram expected = bytes({0x01, 0x3C, 0x1C, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x80, 0x84,
                             0x32, 0x09});
  expected.resize(28, 0x00);
  EXPECT_EQ(stop_msg, expected);

  EXPECT_EQ(message(mtCommand, ctGetVersion, 0, {}),
            bytes({0x01, 0x02, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00}));
}

TEST(LanProtocol, HeaderChecksRejectWhatWasNotReceived) {
  const Datagram good = message(mtCommand, ctGetVersion, 7, bytes({1, 2, 3, 4}));
  TMessage h{};
  ASSERT_TRUE(parse_message(good.data(), good.size(), h));
  EXPECT_EQ(h.msg_size, 16);
  EXPECT_EQ(h.msg_id, 7u);
  EXPECT_FALSE(parse_message(good.data(), 11, h)) << "shorter than a header";
  EXPECT_FALSE(parse_message(good.data(), 15, h)) << "msg_size beyond the bytes received";
  Datagram zero = good;
  zero[2] = zero[3] = 0;
  EXPECT_FALSE(parse_message(zero.data(), zero.size(), h)) << "msg_size 0";
}

class LanExchange : public ::testing::Test {
 protected:
  void SetUp() override { setenv("KALVORT_LOOPBACK_ONLY", "1", 1); }
  void open(const UdpPeer &peer) { ASSERT_TRUE(lan.open_lan("127.0.0.1", peer.port())); }
  TLanSocket lan;
};

TEST_F(LanExchange, RequestGoesOutPaddedTo64BytesAndRaisesTheCounter) {
  UdpPeer peer([](const Datagram &) { return std::vector<Datagram>{}; });
  open(peer);
  msg_counter = 5;
  TComand stop = make_comand(ciStopReadWrite);
  ASSERT_TRUE(write_cmd(lan, ctModule, reinterpret_cast<uint8_t *>(&stop), sizeof stop));
  EXPECT_EQ(msg_counter.load(), 6u);
  const uint8_t page[300] = {};
  ASSERT_TRUE(write_data(lan, page, sizeof page));
  for (int i = 0; i < 100 && peer.received().size() < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const auto got = peer.received();
  ASSERT_EQ(got.size(), 2u);
  Datagram expected = message(mtCommand, ctModule, 5,
                              Datagram(reinterpret_cast<uint8_t *>(&stop),
                                       reinterpret_cast<uint8_t *>(&stop) + sizeof stop));
  expected.resize(64, 0);
  EXPECT_EQ(got[0], expected);
  EXPECT_EQ(got[1].size(), 312u) << "longer messages are not padded";
  EXPECT_EQ(got[1][0], mtData);

  lan.close_lan();
  const uint32_t before = msg_counter.load();
  EXPECT_FALSE(write_cmd(lan, ctGetVersion, nullptr, 0)) << "no socket";
  EXPECT_EQ(msg_counter.load(), before) << "a failed send does not count";
}

TEST_F(LanExchange, LoopbackOnlyRefusesOtherAddresses) {
  EXPECT_FALSE(lan.open_lan("192.168.0.10", 30000));
  EXPECT_FALSE(lan.is_open());
  EXPECT_FALSE(lan.open_lan("not an address", 30000));
  EXPECT_TRUE(lan_is_loopback("127.3.2.1"));
  EXPECT_FALSE(lan_is_loopback("128.0.0.1"));
}

// The pairing rules, each as the sequence of datagrams the controller answers a request with.
TEST_F(LanExchange, PairingRules) {
  struct Case {
    const char *what;
    std::function<std::vector<Datagram>(uint32_t id)> answer;
    bool ok;
    uint32_t version;  // reply payload expected when ok
  };
  const Datagram v = bytes({0x10, 0x02, 0, 0});
  const Case cases[] = {
      {"plain reply", [&](uint32_t id) { return std::vector<Datagram>{message(1, ctGetVersion, id, v)}; },
       true, 0x210},
      {"late reply dropped, then the right one",
       [&](uint32_t id) {
         return std::vector<Datagram>{message(1, ctGetVersion, id - 1, bytes({9, 9, 9, 9})),
                            message(1, ctGetVersion, id, v)};
       },
       true, 0x210},
      {"refused reply fails even with an old id",
       [&](uint32_t id) {
         return std::vector<Datagram>{message(1, ctRefused, id - 1, {}), message(1, ctGetVersion, id, v)};
       },
       false, 0},
      {"refused reply", [&](uint32_t id) { return std::vector<Datagram>{message(1, ctRefused, id, {})}; },
       false, 0},
      {"wrong checksum accepted",
       [&](uint32_t id) {
         Datagram d = message(1, ctGetVersion, id, v);
         d[8] ^= 0xFF;
         return std::vector<Datagram>{d};
       },
       true, 0x210},
      {"msg_size 0 rejected",
       [&](uint32_t id) {
         Datagram d = message(1, ctGetVersion, id, v);
         d[2] = d[3] = 0;
         return std::vector<Datagram>{d};
       },
       false, 0},
      {"short datagram rejected",
       [&](uint32_t id) {
         Datagram d = message(1, ctGetVersion, id, v);
         d.resize(8);
         return std::vector<Datagram>{d};
       },
       false, 0},
      {"msg_size beyond the datagram rejected",
       [&](uint32_t id) {
         Datagram d = message(1, ctGetVersion, id, v);
         d[2] = 40;
         return std::vector<Datagram>{d};
       },
       false, 0},
      {"no reply", [&](uint32_t) { return std::vector<Datagram>{}; }, false, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    UdpPeer peer([&](const Datagram &req) { return c.answer(idOf(req)); });
    open(peer);
    uint8_t reply[4] = {};
    uint32_t version = 0;
    const bool ok = comm_cmd(lan, ctGetVersion, nullptr, 0, reply, 4, 60);
    std::memcpy(&version, reply, 4);
    EXPECT_EQ(ok, c.ok);
    if (c.ok) {
      EXPECT_EQ(version, c.version);
    }
    lan.close_lan();
  }
}

TEST_F(LanExchange, DataDownloadIsBoundedAndRetriedAFewTimes) {
  // Answers only the third request; each answer carries exactly the bytes asked for (<= 1052).
  int seen = 0;
  UdpPeer peer([&](const Datagram &req) {
    if (++seen < 3) return std::vector<Datagram>{};
    uint32_t want;
    std::memcpy(&want, req.data() + 12, 4);
    return std::vector<Datagram>{message(mtData, ctReadData, idOf(req), Datagram(std::min(want, 1052u), 0x5C))};
  });
  open(peer);
  std::vector<uint8_t> buf(1056, 0);
  const uint32_t want = 1056;
  int rewinds = 0;
  ASSERT_TRUE(comm_get_data(lan, ctReadData, reinterpret_cast<const uint8_t *>(&want), 4, buf.data(),
                            buf.size(), 40, [&] { return ++rewinds, true; }));
  EXPECT_EQ(rewinds, 2);
  EXPECT_EQ(std::count(buf.begin(), buf.end(), 0x5C), 1052) << "one reply carries 1052 bytes";

  // A controller that never answers: false after kGetDataAttempts requests, not a hang.
  seen = -1000;
  const size_t before = peer.received().size();
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(comm_get_data(lan, ctReadData, reinterpret_cast<const uint8_t *>(&want), 4, buf.data(),
                             256, 40));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(peer.received().size() - before, size_t(kGetDataAttempts));

  // Nothing wanted: no traffic at all.
  const size_t quiet = peer.received().size();
  EXPECT_TRUE(comm_get_data(lan, ctReadData, nullptr, 0, buf.data(), 0, 40));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(peer.received().size(), quiet);
}

// A command or upload whose request (or reply) is lost is sent again when the caller allows it;
// the reply to the lost request, arriving late, is not taken for the repeat's answer.
TEST_F(LanExchange, LostCommandsAndUploadsAreRepeatedAndLateRepliesDropped) {
  for (const bool upload : {false, true}) {
    SCOPED_TRACE(upload ? "upload" : "command");
    // The request ids the peer saw; the peer's thread adds them, the test reads them.
    std::mutex ids_mutex;
    std::vector<uint32_t> ids;
    const auto seen = [&] {
      std::lock_guard lock(ids_mutex);
      return ids;
    };
    UdpPeer peer([&](const Datagram &req) {
      std::lock_guard lock(ids_mutex);
      ids.push_back(idOf(req));
      if (ids.size() == 1) return std::vector<Datagram>{};
      // The late reply to the first request, then the answer to this one.
      return std::vector<Datagram>{message(mtCommand, req[1], ids[0], Datagram(4, 0xEE)),
                                   message(mtCommand, req[1], idOf(req), Datagram(4, 0x21))};
    });
    open(peer);
    uint8_t reply[4] = {};
    const uint8_t page[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    int before_retry = 0;
    const bool ok = upload ? comm_set_data(lan, page, sizeof page, 40, kRequestAttempts,
                                           [&] { return ++before_retry, true; })
                           : comm_cmd(lan, ctGetVersion, nullptr, 0, reply, 4, 40, kRequestAttempts);
    ASSERT_TRUE(ok);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(peer.received().size(), 2u);
    const auto first = seen();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_NE(first[0], first[1]) << "a repeat is a message of its own";
    if (upload) {
      EXPECT_EQ(before_retry, 1);
    } else {
      EXPECT_EQ(reply[0], 0x21);
    }
    // Without attempts to spare a lost request fails the exchange after one request.
    {
      std::lock_guard lock(ids_mutex);
      ids.clear();
    }
    const bool once =
        upload ? comm_set_data(lan, page, sizeof page, 40) : comm_cmd(lan, ctGetVersion, nullptr, 0, reply, 4, 40);
    EXPECT_FALSE(once);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(seen().size(), 1u);
    lan.close_lan();
  }
}

TEST_F(LanExchange, ShortDataReplyIsAFailedRead) {
  UdpPeer peer([&](const Datagram &req) {
    return std::vector<Datagram>{message(mtData, ctReadData, idOf(req), Datagram(100, 0x11))};
  });
  open(peer);
  uint8_t buf[256];
  const uint32_t want = 256;
  EXPECT_FALSE(comm_get_data(lan, ctReadData, reinterpret_cast<const uint8_t *>(&want), 4, buf, 256, 30));
}

}  // namespace
}  // namespace kalvort
