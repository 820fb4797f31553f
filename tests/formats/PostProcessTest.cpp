// Post-processing of catalog entries: converter choice, entry flags on both directions, and the
// split of converter text into lines.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "device/DevCatalog.h"
#include "formats/PostProcess.h"

namespace kalvort {
namespace {

int AddText(TDevCatalog &catalog, const ProgramText &lines, bool processed = true) {
  TDevCatalogEntry e;
  e.cat_num = -1;
  e.need_p_proc = processed;
  e.text = std::make_shared<ProgramText>(lines);
  e.file_txt_valid = true;
  EXPECT_TRUE(catalog.AddCatalogEntry(e));
  return catalog.CatalogCount() - 1;
}

PostProcessOptions Type(int processor, bool vz = false) {
  PostProcessOptions o;
  o.processor_type = processor;
  o.vz_200 = vz;
  return o;
}

TEST(PostProcess, ConverterChoice) {
  EXPECT_EQ(SelectConverter(Type(0)), ConverterKind::C42);
  EXPECT_EQ(SelectConverter(Type(0, true)), ConverterKind::VZ);
  EXPECT_EQ(SelectConverter(Type(1, true)), ConverterKind::NC31);
  EXPECT_EQ(SelectConverter(Type(2)), ConverterKind::None);
  EXPECT_STREQ(ConverterStatusText(Type(0, true)), "2C42 ВЗ-20х");
}

TEST(PostProcess, WriteThenReadRoundTripsEachFormatAndSetsFlags) {
  for (const PostProcessOptions &o : {Type(0), Type(0, true), Type(1)}) {
    SCOPED_TRACE(ConverterStatusText(o));
    TDevCatalog c;
    const int i = AddText(c, {u"G1 X10", u"M3"});
    TDevCatalogEntry e = c.Catalog(i);
    e.control_sum = 1234;
    c.SetCatalog(i, e);
    ASSERT_TRUE(RunWritePostprocess(c, i, o));
    e = c.Catalog(i);
    EXPECT_TRUE(e.file_bin_valid);
    EXPECT_EQ(e.file_error_code, feOK);
    ASSERT_TRUE(e.p_buffer);
    EXPECT_EQ(e.p_buffer->size(), e.prog_size);
    EXPECT_EQ(e.control_sum, 1234u);  // the sum is the layout's business

    ASSERT_TRUE(RunReadPostprocess(c, i, o));
    e = c.Catalog(i);
    EXPECT_TRUE(e.file_txt_valid);
    std::u16string all;
    for (const auto &line : *e.text) all += line + u"|";
    EXPECT_NE(all.find(u"X10"), std::u16string::npos);
  }
}

TEST(PostProcess, FailuresMarkTheEntryAndKeepTheOldBinary) {
  TDevCatalog c;
  const int i = AddText(c, {u"G1", u"X1 Ж"});
  TDevCatalogEntry e = c.Catalog(i);
  e.p_buffer = std::make_shared<ProgramImage>(3, 7);
  e.prog_size = 3;
  e.file_bin_valid = true;
  c.SetCatalog(i, e);

  ConversionFailure failure;
  EXPECT_FALSE(RunWritePostprocess(c, i, Type(0), &failure));
  EXPECT_EQ(failure.conv_err_code, kConvErrSymbol);
  EXPECT_EQ(failure.conv_err_str_num, 2);
  EXPECT_EQ(failure.message, "Неверный символ");
  e = c.Catalog(i);
  EXPECT_FALSE(e.file_bin_valid);
  EXPECT_EQ(e.file_error_code, feProcessError);
  EXPECT_EQ(e.prog_size, 3u);

  // No converter for the control type, processing off, an unprocessed entry: nothing converts.
  EXPECT_FALSE(RunWritePostprocess(c, i, Type(5), &failure));
  PostProcessOptions off = Type(0);
  off.need_proc = false;
  EXPECT_FALSE(RunWritePostprocess(c, i, off));
  const int raw = AddText(c, {u"G1"}, false);
  EXPECT_FALSE(RunWritePostprocess(c, raw, Type(0)));
  EXPECT_FALSE(RunWritePostprocess(c, 99, Type(0)));

  // A binary the reader cannot take leaves no lines and the error mark.
  e = c.Catalog(i);
  e.p_buffer = std::make_shared<ProgramImage>(ProgramImage{0x01, 0x02});
  e.prog_size = 2;
  c.SetCatalog(i, e);
  EXPECT_FALSE(RunReadPostprocess(c, i, Type(0, true)));
  e = c.Catalog(i);
  EXPECT_TRUE(e.text->empty());
  EXPECT_FALSE(e.file_txt_valid);
  EXPECT_EQ(e.file_error_code, feProcessError);
}

TEST(PostProcess, UpdateTextSplitsOnEveryKindOfLineBreak) {
  struct Case {
    std::string bytes;
    ProgramText lines;
  };
  const Case cases[] = {
      {"A\r\nB\r\n", {u"A", u"B"}},
      {"A\r\n\r\nB", {u"A", u"", u"B"}},
      {"A\nB\nC\n", {u"A", u"B", u"C"}},
      {"A\rB", {u"A", u"B"}},
      {"\xC0\xDF\r\n", {u"АЯ"}},
      {"", {}},
  };
  for (const auto &c : cases) {
    ProgramText text = {u"old"};
    UpdateText(text, reinterpret_cast<const uint8_t *>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(text, c.lines) << c.bytes;
  }
  ProgramText text = {u"old"};
  UpdateText(text, nullptr, 5);
  EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace kalvort
