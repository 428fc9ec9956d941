// Written forms of the PDF values, the cross-reference table and streams.
#include "pdf/pdf_objects.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <clocale>

namespace pamirune {
namespace {

std::string Written(TPdfObject& object) { return object.ToString(); }

std::string Inflate(const uint8_t* data, size_t size) {
  std::string out(1 << 16, '\0');
  uLongf out_size = out.size();
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &out_size, data, size), Z_OK);
  out.resize(out_size);
  return out;
}

TEST(PdfValueTest, RealsUseFifteenDigitsAPointAndNoExponent) {
  EXPECT_EQ(FormatPdfReal(595), "595");
  EXPECT_EQ(FormatPdfReal(0.5), "0.5");
  EXPECT_EQ(FormatPdfReal(-12.25), "-12.25");
  EXPECT_EQ(FormatPdfReal(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FormatPdfReal(2.0 / 3), "0.666666666666667");
  // The exponent form has no meaning in a PDF file.
  EXPECT_EQ(FormatPdfReal(1e20), "100000000000000000000");
  EXPECT_EQ(FormatPdfReal(1.5e-7), "0.00000015");
  EXPECT_EQ(FormatPdfReal(-0.0), "0");
  EXPECT_EQ(FormatPdfReal(std::numeric_limits<double>::quiet_NaN()), "0");
  EXPECT_EQ(FormatPdfReal(std::numeric_limits<double>::infinity()), "0");
}

TEST(PdfValueTest, OperatorNumbersAreRoundedToTwoDecimals) {
  EXPECT_EQ(FormatPdfCanvasNumber(595), "595");
  EXPECT_EQ(FormatPdfCanvasNumber(0.5), "0.5");
  EXPECT_EQ(FormatPdfCanvasNumber(12.3456), "12.35");
  EXPECT_EQ(FormatPdfCanvasNumber(12.344), "12.34");
  EXPECT_EQ(FormatPdfCanvasNumber(0.004), "0");
  // Negative values round away from zero too: -1 stays -1 (not -0.99).
  EXPECT_EQ(FormatPdfCanvasNumber(-1), "-1");
  EXPECT_EQ(FormatPdfCanvasNumber(-2.5), "-2.5");
  EXPECT_EQ(FormatPdfCanvasNumber(-12.3456), "-12.35");
  EXPECT_EQ(FormatPdfCanvasNumber(-0.001), "0");
  EXPECT_EQ(FormatPdfCanvasNumber(10000000), "10000000");
}

TEST(PdfValueTest, NumbersIgnoreACommaLocale) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma installed";
  std::string real = FormatPdfReal(0.5);
  std::string op = FormatPdfCanvasNumber(12.3456);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(real, "0.5");
  EXPECT_EQ(op, "12.35");
}

TEST(PdfValueTest, NamesEscapeDelimitersAndOddBytes) {
  EXPECT_EQ(TPdfName("A B").ToString(), "/A#20B");
  EXPECT_EQ(TPdfName("a#b").ToString(), "/a#23b");
  EXPECT_EQ(TPdfName("%()/<>[]{}").ToString(), "/#25#28#29#2F#3C#3E#5B#5D#7B#7D");
  EXPECT_EQ(TPdfName("x\x7F\xE3!~").ToString(), "/x#7F#E3!~");
  EXPECT_EQ(TPdfName("Type").ToString(), "/Type");
}

TEST(PdfValueTest, PlainTextIsALiteralStringWithEscapes) {
  EXPECT_EQ(TPdfText("(\n").ToString(), "(\\(\\n)");
  EXPECT_EQ(TPdfText("a)b\\c\rd\te\bf\fg").ToString(), "(a\\)b\\\\c\\rd\\te\\bf\\fg)");
  EXPECT_EQ(TPdfText("").ToString(), "()");
}

TEST(PdfValueTest, NonAsciiTextIsAHexUtf16String) {
  // Byte-order mark, language escape "en", then one code unit per character.
  EXPECT_EQ(TPdfText("あ").ToString(), "<FEFF001B656E001B3042>");
  EXPECT_EQ(TPdfText("ぱa").ToString(), "<FEFF001B656E001B30710061>");
  // Outside the basic plane: a surrogate pair.
  EXPECT_EQ(TPdfText("\xF0\x9F\x98\x80").ToString(), "<FEFF001B656E001BD83DDE00>");
  // Malformed UTF-8: each bad byte becomes U+FFFD, the good ones stay.
  EXPECT_EQ(TPdfText("\xFFz\xE3\x81").ToString(), "<FEFF001B656E001BFFFD007AFFFDFFFD>");
}

TEST(PdfArrayTest, ElementsAreEachFollowedByABlank) {
  TPdfArray empty;
  EXPECT_EQ(Written(empty), "[]");
  TPdfArray one;
  one.Add(PdfNumber(5));
  EXPECT_EQ(Written(one), "[5 ]");
  TPdfArray box;
  for (int v : {0, 0, 596, 842}) box.Add(PdfNumber(v));
  EXPECT_EQ(Written(box), "[0 0 596 842 ]");
  EXPECT_TRUE(one.HasName("x") == false);
}

TEST(PdfArrayTest, AnObjectAlreadyHeldIsNotAddedTwice) {
  TPdfArray array;
  auto number = PdfNumber(1);
  TPdfNumber* raw = number.get();
  array.Add(std::move(number));
  array.Add(std::unique_ptr<TPdfObject>(raw));
  EXPECT_EQ(array.ItemCount(), 1u);
}

TEST(PdfDictionaryTest, WrittenWithCrLfAndHiddenEntriesLeftOut) {
  TPdfDictionary d;
  EXPECT_EQ(Written(d), "<<\r\n>>");
  d.AddItem("Type", PdfName("Page"));
  d.AddInternalItem("_Font", PdfName("Arial"));
  d.AddItem("Count", PdfNumber(2));
  EXPECT_EQ(Written(d), "<<\r\n/Type /Page\r\n/Count 2\r\n>>");
  EXPECT_NE(d.ValueByName("_Font"), nullptr);
}

TEST(PdfDictionaryTest, AKeySetTwiceIsWrittenOnceAtItsSecondPosition) {
  TPdfDictionary d;
  d.AddItem("A", PdfNumber(1));
  d.AddItem("B", PdfNumber(2));
  d.AddItem("A", PdfNumber(3));
  EXPECT_EQ(Written(d), "<<\r\n/B 2\r\n/A 3\r\n>>");
  d.RemoveItem("B");
  EXPECT_EQ(Written(d), "<<\r\n/A 3\r\n>>");
}

TEST(PdfReferenceTest, IndirectObjectsAreStoredAsReferences) {
  TPdfXref xref;
  auto* target = xref.Add(std::make_unique<TPdfDictionary>());
  ASSERT_EQ(target->ObjectNumber(), 1);
  EXPECT_EQ(target->ObjectType(), TPdfObjectType::otIndirectObject);

  TPdfArray kids;
  kids.AddReference(*target);
  TPdfDictionary page;
  page.AddReference("Parent", *target);
  EXPECT_EQ(Written(kids), "[1 0 R ]");
  EXPECT_EQ(Written(page), "<<\r\n/Parent 1 0 R\r\n>>");
  // Written where used, the indirect object itself is a reference too.
  EXPECT_EQ(target->ToString(), "1 0 R");
  // The reference is a new object; the target stays owned by the table.
  EXPECT_NE(kids.Items(0), target);
  EXPECT_EQ(kids.Items(0)->ObjectType(), TPdfObjectType::otVirtualObject);
}

TEST(PdfReferenceTest, OnlyTheNumberedConstructorMakesAReference) {
  try {
    TPdfVirtualObject bad;
    FAIL();
  } catch (const EPdfInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "virtualObject must be create by CreateVirtual method.");
  }
  EXPECT_EQ(TPdfVirtualObject::CreateVirtual(12)->ToString(), "12 0 R");
}

TEST(PdfXrefTest, RegisteringTwiceOrRegisteringAReferenceFails) {
  TPdfXref xref;
  auto* first = xref.Add(std::make_unique<TPdfNumber>(1));
  EXPECT_EQ(xref.ItemCount(), 2u);
  EXPECT_EQ(xref.GetObject(1), first);
  EXPECT_EQ(xref.GetObject(2), nullptr);
  try {
    xref.AddObject(TPdfVirtualObject::CreateVirtual(1));
    FAIL();
  } catch (const EPdfInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "AddObject --wrong object type.");
  }
  EXPECT_THROW(xref.AddObject(nullptr), EPdfInvalidOperation);
}

TEST(PdfXrefTest, TableLinesHaveTenAndFiveDigits) {
  TPdfXref xref;
  xref.Add(std::make_unique<TPdfNull>());
  xref.Items(1).byte_offset = 15;
  TMemoryStream out;
  xref.WriteTable(out);
  std::string text(out.Bytes().begin(), out.Bytes().end());
  EXPECT_EQ(text,
            "xref\r\n0 2\r\n"
            "0000000000 65535 f\r\n"
            "0000000015 00000 n\r\n");
}

TEST(PdfStreamTest, UnfilteredDataAreWrittenAsTheyAre) {
  TPdfStream s;
  s.Append("hello");
  EXPECT_EQ(Written(s), "<<\r\n/Length 5\r\n/Filter []\r\n>>\r\nstream\r\nhello\nendstream");
}

TEST(PdfStreamTest, FlateDataAreDeflatedAndLengthFollows) {
  for (bool precompress : {false, true}) {
    TPdfStream s;
    s.Filter().Add(PdfName("FlateDecode"));
    std::string data(5000, 'x');
    data += "tail";
    s.Append(data);
    if (precompress) s.Precompress();
    std::string text = Written(s);
    const std::string head_start = "<<\r\n/Length ";
    ASSERT_EQ(text.rfind(head_start, 0), 0u);
    size_t length = std::stoul(text.substr(head_start.size()));
    const std::string head_end = "\r\n/Filter [/FlateDecode ]\r\n>>\r\nstream\r\n";
    size_t data_at = text.find(head_end) + head_end.size();
    ASSERT_EQ(text.size(), data_at + length + std::string("\nendstream").size());
    // zlib format: header byte 0x78, maximum compression flag 0xDA.
    EXPECT_EQ(static_cast<uint8_t>(text[data_at]), 0x78);
    EXPECT_EQ(static_cast<uint8_t>(text[data_at + 1]), 0xDA);
    EXPECT_EQ(Inflate(reinterpret_cast<const uint8_t*>(text.data() + data_at), length), data);
  }
}

TEST(PdfStreamTest, DeflatedEmptyDataStayValid) {
  TPdfStream s;
  s.Filter().Add(PdfName("FlateDecode"));
  std::string text = Written(s);
  size_t at = text.find("stream\r\n") + 8;
  size_t end = text.rfind("\nendstream");
  EXPECT_EQ(Inflate(reinterpret_cast<const uint8_t*>(text.data() + at), end - at), "");
}

TEST(PdfDateTest, DatesHaveNoZone) {
  EXPECT_EQ(FormatPdfDate({2002, 11, 25, 10, 4, 37}), "D:20021125100437");
  EXPECT_EQ(FormatPdfDate({}), "D:18991230000000");
}

}  // namespace
}  // namespace pamirune
