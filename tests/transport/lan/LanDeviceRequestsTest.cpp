// The datagrams TLANDeviceClass sends, byte for byte, against a scripted controller.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "support/UdpPeer.h"
#include "transport/LANDeviceUnit.h"
#include "transport/LanProtocol.h"
#include "transport/LanUnit.h"

namespace kalvort {
namespace {

using namespace std::chrono_literals;
using test::Datagram;

Datagram reply(const Datagram &req, Datagram payload) {
  uint32_t id;
  std::memcpy(&id, req.data() + 4, 4);
  Datagram out(kMsgHeaderSize + payload.size());
  build_message(mtCommand, req[1], id, payload.data(), payload.size(), out.data());
  return out;
}

// Answers like a controller with an index-1 module (512 pages of 264 bytes); erases unanswered.
std::vector<Datagram> controller(const Datagram &req) {
  if (req[0] == mtCommand && req[1] == ctGetVersion) return {reply(req, {0x10, 0x02, 0, 0})};
  if (req[0] == mtCommand && req[1] == ctTakeDevice) return {reply(req, {1, 0, 0, 0, 0, 0, 0, 0})};
  if (req[0] == mtCommand && req[1] == ctModule) {
    if (req[12] == ciEraseBlocks) return {};
    if (req[12] == ciReadConfig) return {reply(req, {1, 0, 0x8C})};
  }
  return {reply(req, {})};
}

Datagram payloadOf(const Datagram &d) {
  const size_t size = d[2] | d[3] << 8;
  return Datagram(d.begin() + 12, d.begin() + static_cast<ptrdiff_t>(size));
}

TEST(LanDeviceRequests, TakeAddressAndEraseBytes) {
  setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  test::UdpPeer peer(controller);
  TLANDeviceClass device("127.0.0.1", peer.port());
  device.SetDevSubtype(dstWMP);
  ASSERT_TRUE(device.DeviceOpen());
  EXPECT_EQ(device.LastError(), deOK);
  const TDeviceState s = device.DeviceState();
  ASSERT_TRUE(s.MP_connected);
  ASSERT_EQ(s.MP_page_size, 264);

  auto last = [&] {
    auto got = peer.received();
    return payloadOf(got.back());
  };
  // Requests of the open: the take carries the subtype and the claim value.
  auto got = peer.received();
  const Datagram take = payloadOf(got.at(got.size() - 4));  // take, stop, version, config follow
  EXPECT_EQ(take, (Datagram{0x02, 0, 0, 0, 0xE8, 0x03, 0, 0}));

  ASSERT_TRUE(device.LinkSetReadAddr(1000));
  EXPECT_EQ(last(), (Datagram{ciSetReadAddr, 0, 0, 0x00, 0x06, 0xD0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(device.LinkSetWriteAddr(1320));
  EXPECT_EQ(last(), (Datagram{ciSetWriteAddr, 0, 0, 0x00, 0x00, 0x05, 0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(device.LinkSetBufferSize(264));
  EXPECT_EQ(last(), (Datagram{ciSetBufferSize, 0, 0, 0x01, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // The erase record; the controller stays silent, so the wait is 20 ms per block + 250 ms.
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(device.LinkEraseBlocks(300, 1));
  const auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(last(), (Datagram{ciEraseBlocks, 0, 0, 0x01, 0x2C, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_GE(waited, 10ms + 270ms);
  EXPECT_LT(waited, 10ms + 270ms + 700ms);

  // A read of 0 bytes sends nothing.
  const size_t before = peer.received().size();
  uint8_t buf[1];
  EXPECT_TRUE(device.LinkReadData(buf, 0));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(peer.received().size(), before);

  device.DeviceClose();
  EXPECT_FALSE(device.SocketOpen());
  EXPECT_EQ(last(), (Datagram{0, 0, 0, 0, 0, 0, 0, 0})) << "the release";
}

TEST(LanDeviceRequests, RefusedTakeMeansBusyAndASilentControllerIsNotOpened) {
  setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  {
    test::UdpPeer busy([](const Datagram &req) -> std::vector<Datagram> {
      if (req[1] == ctTakeDevice) return {reply(req, {0, 0, 0, 0, 1, 0, 0, 0})};
      return {reply(req, {})};
    });
    TLANDeviceClass device("127.0.0.1", busy.port());
    device.SetDevSubtype(dstSMP);
    EXPECT_TRUE(device.DeviceOpen());
    EXPECT_EQ(device.LastError(), deDeviceBusy);
    device.DeviceClose();
  }
  test::UdpPeer silent([](const Datagram &) { return std::vector<Datagram>{}; });
  // A lost stop is sent again before the controller counts as silent; a network search's probe
  // (one attempt) gives up after the first.
  for (const int attempts : {kRequestAttempts, 1}) {
    SCOPED_TRACE(attempts);
    const auto t0 = std::chrono::steady_clock::now();
    TLANDeviceClass device("127.0.0.1", silent.port(), attempts);  // the constructor opens once too
    const size_t sent = silent.received().size();
    EXPECT_FALSE(device.DeviceOpen());
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(device.LastError(), deNotConnected);
    EXPECT_FALSE(device.SocketOpen()) << "closed again after the failed stop";
    EXPECT_GE(waited, 2 * attempts * 250ms);
    EXPECT_LT(waited, 2 * attempts * 250ms + 700ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(silent.received().size(), sent + static_cast<size_t>(attempts)) << "stop requests, no more";
  }
}

}  // namespace
}  // namespace kalvort
