#include "plot/file_code_conv.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "support/temp_home.h"

namespace qel::plot {
namespace {

using test::TempHome;

std::string convertInPlace(TempHome& home, const std::string& bytes, int* encoding = nullptr,
                           platform::FakeClock* clock = nullptr) {
  home.writeFile("job.plt", bytes);
  platform::FakeClock local;
  CFileCodeConv conv(home.file("job.plt"), home.file("job.plt"), clock ? clock : &local);
  EXPECT_TRUE(conv.convert()) << conv.message();
  if (encoding) *encoding = conv.encoding();
  return home.readFile("job.plt");
}

TEST(FileCodeConv, SingleByteFilesStayByteForByte) {
  TempHome home;
  platform::FakeClock clock;
  int enc = -1;
  std::string ascii = "IN;SP1;PU0,0;PD100,100;LBhello\x03;\r\n";
  EXPECT_EQ(convertInPlace(home, ascii, &enc, &clock), ascii);
  EXPECT_EQ(enc, CFileCodeConv::SingleByte);
  EXPECT_EQ(clock.nowMs(), 100);
  // GBK label bytes are not valid UTF-8 and stay as they are.
  std::string gbk = "LB\xB1\xEA\xC7\xA9\x03;";
  EXPECT_EQ(convertInPlace(home, gbk, &enc), gbk);
  EXPECT_EQ(enc, CFileCodeConv::SingleByte);
}

TEST(FileCodeConv, UnicodeFilesAreRewrittenInCodePage) {
  TempHome home;
  struct Case {
    const char* name;
    std::string bytes, converted;
    int encoding;
  } cases[] = {
      {"UTF-8 without mark", "LB\xE6\xA0\x87\xE7\xAD\xBE;", "LB\xB1\xEA\xC7\xA9;", CFileCodeConv::Utf8},
      {"UTF-8 with mark, which goes", "\xEF\xBB\xBFLB\xE6\xA0\x87;", "LB\xB1\xEA;", CFileCodeConv::Utf8Bom},
      {"UTF-16 little-endian", std::string("\xFF\xFEL\0B\0\x07\x68;\0", 10), "LB\xB1\xEA;", CFileCodeConv::Utf16LeBom},
      {"UTF-16 big-endian, odd byte ignored", std::string("\xFE\xFF\0L\0B\x68\x07\0;Z", 11), "LB\xB1\xEA;",
       CFileCodeConv::Utf16BeBom},
      // Two Latin-1 characters "Ã©" happen to be the UTF-8 form of é.
      {"Latin text that looks like UTF-8", "LB\xC3\xA9;", "LB\xA8\xA6;", CFileCodeConv::Utf8},
  };
  for (const Case& c : cases) {
    int enc = -1;
    EXPECT_EQ(convertInPlace(home, c.bytes, &enc), c.converted) << c.name;
    EXPECT_EQ(enc, c.encoding) << c.name;
  }
}

TEST(FileCodeConv, UnrepresentableCharactersBecomeQuestionMarks) {
  TempHome home;
  // Thai ko kai and an emoji (a surrogate pair) have no CP936 form.
  std::string le("\xFF\xFE" "A\0\x01\x0E" "\x3D\xD8\x00\xDE" "B\0", 12);
  EXPECT_EQ(convertInPlace(home, le), "A??B");
  EXPECT_EQ(convertInPlace(home, "A\xE0\xB8\x81" "B"), "A?B");
}

TEST(FileCodeConv, IsUtf8Rule) {
  auto u = [](const std::string& s) {
    return CFileCodeConv::isUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  };
  // A stray continuation, one still pending at the end, one expected; lead bytes announcing six
  // and seven continuations.
  for (const char* no : {"", "plain ascii", "\xA9", "a\xE6\xA0", "\xE6" "a\xA0"}) EXPECT_FALSE(u(no)) << no;
  for (const char* yes : {"a\xC3\xA9", "\xFE\x80\x80\x80\x80\x80\x80", "\xFF\x80\x80\x80\x80\x80\x80\x80"})
    EXPECT_TRUE(u(yes)) << yes;
}

TEST(FileCodeConv, FailuresLeaveTheFile) {
  TempHome home;
  CFileCodeConv missing(home.file("none.plt"), home.file("none.plt"));
  EXPECT_FALSE(missing.convert());
  EXPECT_EQ(missing.message(), "Open File Error");

  std::string utf8 = "LB\xE6\xA0\x87;";
  home.writeFile("job.plt", utf8);
  CFileCodeConv noDest(home.file("job.plt"), home.file("no/such/dir/job.plt"));
  EXPECT_FALSE(noDest.convert());
  EXPECT_EQ(noDest.message(), "Conversion Fail");
  EXPECT_EQ(home.readFile("job.plt"), utf8);
}

}  // namespace
}  // namespace qel::plot
