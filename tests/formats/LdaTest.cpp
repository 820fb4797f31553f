#include <gtest/gtest.h>

#include "FormatTestUtil.h"

using namespace kalvort;
using namespace kalvort::test;

namespace {

Bytes save(const Bytes &source, std::uint32_t address, std::size_t blockSize) {
  Bytes out;
  EXPECT_TRUE(SaveLDA(source, out, address, blockSize));
  return out;
}

// A data block with a correct checksum (no leading zeros).
Bytes block(std::uint16_t address, const Bytes &data) {
  const std::size_t count = data.size() + 7;
  Bytes b = {0x01, 0x00, std::uint8_t(count), std::uint8_t(count >> 8), std::uint8_t(address),
             std::uint8_t(address >> 8)};
  b.insert(b.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (auto x : b) sum += x;
  b.push_back(std::uint8_t(0x100 - (sum & 0xFF)));
  return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kEnd = hex("01 00 06 00 01 00 F8");

}  // namespace

TEST(Lda, SavesStreams) {
  EXPECT_EQ(save(hex("41"), 832, 1),
            hex("00 00 01 00 08 00 40 03 41 73 00 00 00 00 00 01 00 06 00 01 00 F8"));
  EXPECT_EQ(save({}, 832, 8192), hex("00*5 01 00 06 00 01 00 F8"));
  // An exact multiple of the block size gives no empty block; addresses advance modulo 65536.
  EXPECT_EQ(save(hex("01 02 03 04"), 0xFFFF, 2),
            cat({hex("00 00"), block(0xFFFF, hex("01 02")), hex("00 00"), block(0x0001, hex("03 04")),
                 hex("00*5"), kEnd}));
  EXPECT_EQ(save(hex("01 02 03"), 0x10340, 2),  // low 16 bits of the address
            cat({hex("00 00"), block(0x0340, hex("01 02")), hex("00 00"), block(0x0342, hex("03")),
                 hex("00*5"), kEnd}));

  Bytes out = hex("AA");
  EXPECT_FALSE(SaveLDA(hex("41"), out, 0, 0));
  EXPECT_FALSE(SaveLDA(hex("41"), out, 0, 8193));
  EXPECT_EQ(out, hex("AA"));
  EXPECT_TRUE(SaveLDA(Bytes(8192, 7), out, 0, 8192));
  EXPECT_EQ(out.size(), 1 + 8192 + 21u);
}

TEST(Lda, LoadsStreams) {
  struct Case {
    Bytes stream;
    int start;
    Bytes memory;  // memory bytes 0 up to the end of the last data block
  } cases[] = {
      {save(hex("41"), 832, 1), 832, cat({Bytes(832, 0), hex("41")})},
      {save({}, 832, 1), 1, {}},
      {cat({hex("FF 00 7E 02"), block(2, hex("AB")), hex("13"), kEnd}), 2, hex("00 00 AB")},
      {cat({block(3, {}), kEnd}), 3, hex("00 00 00")},  // count 7 carries no data
      // The end is that of the last block, not the highest address reached.
      {cat({block(4, hex("01 02")), block(1, hex("09")), kEnd}), 4, hex("00 09")},
      {cat({block(8190, hex("01 02")), kEnd}), 8190, cat({Bytes(8190, 0), hex("01 02")})},
      {cat({block(8192 + 5, hex("01")), kEnd}), 5, hex("00*5 01")},  // low 13 bits
      {cat({hex("01 00 06 00 34 12"), block(0, hex("05"))}), 0x1234 & 8191, {}},
  };
  for (const auto &c : cases) {
    Bytes dest = hex("EE");
    int start = 99;
    ASSERT_TRUE(LoadLDA(c.stream, dest, start));
    EXPECT_EQ(start, c.start);
    EXPECT_EQ(dest, cat({hex("EE"), c.memory}));  // appended
  }
}

TEST(Lda, RejectsBadStreams) {
  Bytes corrupted = save(hex("41 42 43"), 100, 8192);
  corrupted[8] ^= 0x01;  // a data byte
  // The end block's address cut short.
  const Bytes truncated = hex("00 00 01 00 08 00 40 03 41 73 00 00 00 00 00 01 00 06 00 01");
  const Bytes cases[] = {
      {},
      hex("00 00 00"),
      truncated,
      corrupted,
      cat({hex("01 00 05 00 00 00"), kEnd}),              // count below 6
      cat({block(8191, hex("01 02")), kEnd}),             // reaches past byte 8191
      cat({block(0, Bytes(8193, 1)), kEnd}),
      cat({block(0, hex("01"))}),                          // no end block
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Bytes dest;
    int start = 0;
    EXPECT_FALSE(LoadLDA(cases[i], dest, start)) << i;
    EXPECT_TRUE(dest.empty()) << i;
  }
  // Every truncation of a good stream fails, up to the end block's checksum, which is not read.
  const Bytes good = save(hex("10 20 30 40 50"), 64, 2);
  for (std::size_t n = 0; n + 1 < good.size(); ++n) {
    Bytes dest;
    int start = 0;
    EXPECT_FALSE(LoadLDA(Bytes(good.begin(), good.begin() + n), dest, start)) << n;
  }
}

TEST(Lda, RoundTripsAcrossBlockSizes) {
  Bytes data(3000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 7 + 1);
  for (std::size_t blockSize : {1u, 7u, 1000u, 3000u, 8192u}) {
    Bytes dest;
    int start = 0;
    ASSERT_TRUE(LoadLDA(save(data, 4000, blockSize), dest, start)) << blockSize;
    EXPECT_EQ(start, 4000);
    EXPECT_EQ(Bytes(dest.begin() + 4000, dest.end()), data);
  }
}
