// Recognising HPGL from its first bytes: every real-world file of the corpus, in the encodings
// the character conversion accepts, and what must not pass for a plot.
#include "plot/hpgl_sniff.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"

namespace qel::plot {
namespace {

std::string utf16(const std::string& ascii, bool bigEndian, bool mark) {
  std::string out;
  if (mark) out += bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
  for (char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return out;
}

TEST(HpglSniff, EveryRealWorldPlotIsRecognisedInEveryEncoding) {
  std::vector<std::string> files{std::string(QEL_SOURCE_DIR) + "/data/samples/sample.plt"};
  for (const auto& e : std::filesystem::directory_iterator(std::string(QEL_SOURCE_DIR) + "/tests/plot/realworld"))
    if (e.path().extension() == ".hpgl") files.push_back(e.path().string());
  ASSERT_GE(files.size(), 20u);
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const std::string head = platform::readWholeFile(f).value_or("").substr(0, 8192);
    ASSERT_FALSE(head.empty());
    EXPECT_TRUE(looksLikeHpgl(head));
    EXPECT_TRUE(looksLikeHpgl("\xEF\xBB\xBF" + head));
    const std::string start = head.substr(0, 200);
    EXPECT_TRUE(looksLikeHpgl(utf16(start, false, true)));
    EXPECT_TRUE(looksLikeHpgl(utf16(start, true, true)));
    EXPECT_TRUE(looksLikeHpgl(utf16(start, false, false)));
  }
}

TEST(HpglSniff, ShortPlotsAndTheirStarts) {
  for (const char* text : {"IN;", "PU;", "IN;SP1;PU0,0;", "  \r\n;;IN;PA10,10;", "PU0,0PD100,0", "SP1PU10,10",
                           "\x1b%-12345X\x1b%0BIN;"}) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(looksLikeHpgl(text));
  }
}

TEST(HpglSniff, OtherDataIsNotTakenForAPlot) {
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  for (const std::string& text :
       {std::string(), std::string(64, '\0'), std::string("%PDF-1.7\n%\xE2\xE3"), png, std::string("Hello, world\n"),
        std::string("INTRODUCTION\nThis is a text file."), std::string("IN THE BEGINNING"), std::string("{\"a\": 1}"),
        std::string("<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\"/>"), std::string("IN"),
        std::string("PU 10 20 hello"), std::string("%!PS-Adobe-3.0\n"), std::string("\x1b" "E")}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(looksLikeHpgl(text));
  }
}

}  // namespace
}  // namespace qel::plot
