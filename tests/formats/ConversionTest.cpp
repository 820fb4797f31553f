#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "FormatTestUtil.h"
#include "formats/ConverterFrame.h"

using namespace kalvort;
using namespace kalvort::test;

TEST(Conversion, CopyResultChecksCount) {
  Conversion conv;
  std::uint8_t dest[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_FALSE(conv.CopyConversionResult(dest, 0));  // nothing converted yet

  const Bytes image = hex("47 30 B1 0A");  // reads as "G01" CR LF: 5 bytes
  std::size_t n = 0;
  ASSERT_TRUE(Read2C42(conv, image.data(), image.size(), nullptr, n));
  ASSERT_EQ(n, 5u);
  EXPECT_FALSE(conv.CopyConversionResult(dest, n + 1));
  EXPECT_EQ(dest[0], 0xEE);
  EXPECT_TRUE(conv.CopyConversionResult(dest, 2));
  EXPECT_EQ(Bytes(dest, dest + 3), hex("47 30 EE"));
  EXPECT_TRUE(conv.CopyConversionResult(dest, n));  // copying does not consume the result
}

TEST(Conversion, EmptyInputKeepsPreviousResult) {
  Conversion conv;
  const Bytes image = hex("47");
  std::size_t n = 0;
  ASSERT_TRUE(Read2C42(conv, image.data(), image.size(), nullptr, n));
  EXPECT_FALSE(Read2C42(conv, image.data(), 0, nullptr, n));
  EXPECT_FALSE(ReadNC31(conv, image.data(), 0, true, nullptr, n));
  EXPECT_FALSE(ReadVZ(conv, image.data(), 0, nullptr, n));
  EXPECT_FALSE(Write2C42(conv, {}, false, false, nullptr, n));
  EXPECT_FALSE(WriteNC31(conv, {}, nullptr, n));
  EXPECT_FALSE(WriteVZ(conv, {}, false, nullptr, n));
  EXPECT_EQ(conv.conv_err_code, kConvErrNone);
  EXPECT_EQ(conv.result(), bytes("G"));
}

TEST(Conversion, ErrorReportResetByNextWriter) {
  Conversion conv;
  std::size_t n = 0;
  EXPECT_FALSE(Write2C42(conv, {u"G01", u"X1", u"Ж"}, false, false, nullptr, n));
  EXPECT_EQ(conv.conv_err_code, kConvErrSymbol);
  EXPECT_EQ(conv.conv_err_str_num, 3);
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(conv.hasResult());
  EXPECT_TRUE(WriteNC31(conv, {u"G1"}, nullptr, n));
  EXPECT_EQ(conv.conv_err_code, 0);
  EXPECT_EQ(conv.conv_err_str_num, 0);
}

TEST(Conversion, ProgressStartsAndEndsAtZeroAndRoundsHalfToEven) {
  std::vector<int> seen;
  ProgressSink sink = [&](int p) { seen.push_back(p); };
  Conversion conv;
  std::size_t n = 0;
  const Bytes image = hex("41*8");
  ASSERT_TRUE(Read2C42(conv, image.data(), image.size(), sink, n));
  // 1/8 = 12.5 -> 12, 3/8 = 37.5 -> 38, 5/8 = 62.5 -> 62, 7/8 = 87.5 -> 88.
  EXPECT_EQ(seen, (std::vector<int>{0, 12, 25, 38, 50, 62, 75, 88, 100, 0}));

  seen.clear();
  EXPECT_FALSE(Write2C42(conv, {u"Ж"}, false, false, sink, n));
  EXPECT_EQ(seen, (std::vector<int>{0, 0}));  // failed before the first step; ends at 0 again
  EXPECT_EQ(progressPercent(1, 200), 0);   // 0.5 -> 0
  EXPECT_EQ(progressPercent(3, 200), 2);   // 1.5 -> 2
}

TEST(Conversion, MessagesByCode) {
  EXPECT_STREQ(convErrMessage(3), "Неверный номер кадра");
  EXPECT_STREQ(convErrMessage(4), "Неверный символ");
  EXPECT_STREQ(convErrMessage(5), "Ошибка преобразования");
  EXPECT_STREQ(convErrMessage(0), "Ошибка преобразования");
}

// The process-wide calls: the desktop program's calling order, and concurrent callers each
// holding the lock across their sequence.
TEST(Conversion, ProcessWideSequenceUnderLock) {
  auto worker = [](char16_t letter, int rounds, int *failures) {
    for (int i = 0; i < rounds; ++i) {
      auto lock = LockConversion();
      std::size_t n = 0;
      if (!Write2C42({std::u16string(1, letter)}, false, false, nullptr, n) || n != 2) {
        ++*failures;
        continue;
      }
      std::uint8_t out[2];
      if (!CopyConversionResult(out, n) || out[0] != Set7thParityBit(letter) ||
          conv_err_code() != 0)
        ++*failures;
    }
  };
  int failA = 0, failB = 0;
  std::thread a(worker, u'A', 200, &failA);
  std::thread b(worker, u'B', 200, &failB);
  a.join();
  b.join();
  EXPECT_EQ(failA, 0);
  EXPECT_EQ(failB, 0);

  std::size_t n = 0;
  EXPECT_FALSE(WriteNC31({u"G1", u"N5000"}, nullptr, n));
  EXPECT_EQ(conv_err_code(), kConvErrBlockNumber);
  EXPECT_EQ(conv_err_str_num(), 2);
}

TEST(Conversion, ProgressReportsEveryPercentOnce) {
  for (std::size_t size : {7u, 100u, 199u, 200u, 201u, 1000u, 4095u}) {
    std::vector<int> seen;
    Conversion conv;
    std::size_t n = 0;
    const Bytes image(size, 0x41);
    ASSERT_TRUE(Read2C42(conv, image.data(), image.size(), [&](int p) { seen.push_back(p); }, n));
    // Exactly the distinct values of progressPercent over the steps, in order.
    std::vector<int> expected = {0};
    for (std::size_t i = 1; i <= size; ++i)
      if (progressPercent(i, size) != expected.back()) expected.push_back(progressPercent(i, size));
    expected.push_back(0);
    EXPECT_EQ(seen, expected) << size;
  }
}

TEST(Conversion, ProgressFollowsUnevenSteps) {
  // A step may consume several characters at once (CR LF, "BS"): the sink still sees exactly the
  // distinct percentages at the steps, in order, wherever the steps fall.
  for (std::size_t total : {1u, 3u, 7u, 200u, 201u, 333u, 1000u, 4095u, 65537u}) {
    std::vector<int> seen;
    const ProgressSink sink = [&](int p) { seen.push_back(p); };
    std::vector<int> expected = {0};
    {
      detail::ProgressRun run(sink);
      std::size_t done = 0;
      for (std::size_t k = 0; done < total; ++k) {
        done = std::min(total, done + 1 + k % 3);
        run.step(done, total);
        if (progressPercent(done, total) != expected.back())
          expected.push_back(progressPercent(done, total));
      }
    }
    expected.push_back(0);
    EXPECT_EQ(seen, expected) << total;
  }
}
