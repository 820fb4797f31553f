#pragma once
// TLANDeviceClass: the memory-module device of a networked Урвелл controller. Every transport
// operation is one or more exchanges of the message layer (LanProtocol.h) over the object's own
// socket (LanUnit.h): any number of these objects may be created, opened and used at once on
// different threads (a status poll, the network search's probes, a running chain), each
// talking to its controller as a client of its own. One object serves one thread at a time.

#include <atomic>
#include <cstdint>
#include <string>

#include "device/DeviceClass.h"
#include "transport/LanProtocol.h"
#include "transport/LanUnit.h"

namespace kalvort {

enum TDevSubtype : int32_t {
  dstNone = 0,  // the network search's probe: takes the controller, not a module
  dstSMP = 1,   // the controller's replaceable module
  dstWMP = 2,   // its built-in module
};

class TLANDeviceClass : public TDeviceClass {
 public:
  // Opens and closes the connection once, so the state tells whether the controller answers.
  // `attempts`: requests sent for each exchange before it fails (LanProtocol.h,
  // kRequestAttempts); a network search's probe sends one, so a silent address costs one time-out.
  TLANDeviceClass(const std::string &ip, uint16_t port, int attempts = kRequestAttempts);
  ~TLANDeviceClass() override;

  // Takes effect at the next LinkOpenDevice; an open connection is not moved.
  void SetIP_Port(const std::string &ip, uint16_t port);
  void SetDevSubtype(TDevSubtype subtype) { dev_subtype_ = subtype; }
  const std::string &IP() const { return FIP; }
  uint16_t Port() const { return port_; }
  TDevSubtype DevSubtype() const { return dev_subtype_; }
  // Sum of the pauses this transport took before its commands, in ms (for measurements).
  uint64_t TransportPauseMs() const { return pause_total_ms_.load(); }
  // True while the object's socket is open (between LinkOpenDevice and LinkCloseDevice).
  bool SocketOpen() const { return lan_.is_open(); }

  void LinkGetDeviceState() override;
  bool LinkOpenDevice() override;
  void LinkCloseDevice() override;
  uint32_t LinkGetFullVersion() override;
  bool LinkTakeDevice(int32_t claim) override;
  void LinkReleaseDevice() override;
  bool LinkSetReadAddr(uint32_t address) override;
  bool LinkReadData(uint8_t *buffer, uint32_t length) override;
  bool LinkSetWriteAddr(uint32_t address) override;
  bool LinkWriteData(const uint8_t *buffer, uint32_t length) override;
  bool LinkStopReadWrite() override;
  bool LinkEraseBlocks(uint32_t first_block, uint32_t count) override;
  bool LinkSetBufferSize(uint32_t size) override;
  bool LinkAbortIO() override;
  bool LinkSetBootMode() override;
  bool LinkStartUpdate() override;
  TDeviceState LinkGetDevState() override;

 private:
  // ciSetReadAddr for a linear address, without the stop and pause in front.
  bool SendReadAddr(uint32_t address);
  void Pause(int ms);
  bool ModuleCommand(uint8_t com_id, const uint8_t *data, size_t data_len, uint8_t *reply,
                     size_t reply_len, int timeout_ms);

  TLanSocket lan_;
  std::string FIP;
  uint16_t port_;
  TDevSubtype dev_subtype_ = dstNone;
  // Linear address of the next byte of the sequential read: a repeated read request puts the
  // controller back here first, since the lost request may have moved it on already.
  uint32_t read_pos_ = 0;
  // Linear address of the next page written, for the same reason: a repeated page upload is
  // sent to its own address again.
  uint32_t write_pos_ = 0;
  int attempts_;
  std::atomic<uint64_t> pause_total_ms_{0};
};

}  // namespace kalvort
