#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_home.h"

namespace qel::config {
namespace {

using ini_text::find;
using ini_text::withValue;

// Bytes of no text encoding.
std::string junk(int size) {
  std::string out;
  for (int i = 0; i < size; ++i) out.push_back(static_cast<char>((i * 7919) % 256));
  return out;
}

std::string asUtf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

TEST(IniText, NamesMatchWithoutCaseAndValuesAreTrimmed) {
  const std::string text = "[Split_Page]\r\n  cut_ft = 7 \r\n[Other]\r\nCUT_FT=1\r\n";
  std::string v;
  ASSERT_TRUE(find(text, "split_page", "CUT_FT", v));
  EXPECT_EQ(v, "7");
  EXPECT_FALSE(find(text, "Missing", "CUT_FT", v));
  EXPECT_FALSE(find(text, "Split_Page", "Page_Width", v));
}

TEST(IniText, ReplacingAKeyKeepsEveryOtherByte) {
  const std::string text = "; a comment\r\n[A]\r\nx=1\r\ngarbage line\r\ny=2\r\n\r\n[B]\r\nz=3\r\n";
  EXPECT_EQ(withValue(text, "a", "Y", "20"), "; a comment\r\n[A]\r\nx=1\r\ngarbage line\r\ny=20\r\n\r\n[B]\r\nz=3\r\n");
}

TEST(IniText, NewKeyGoesAfterTheSectionsLastLineAndNewSectionAtTheEnd) {
  const std::string text = "[A]\nx=1\n\n[B]\nz=3";
  EXPECT_EQ(withValue(text, "A", "w", "5"), "[A]\nx=1\nw=5\n\n[B]\nz=3");
  EXPECT_EQ(withValue(text, "C", "k", "v"), "[A]\nx=1\n\n[B]\nz=3\n[C]\nk=v\n");
  EXPECT_EQ(withValue("", "C", "k", "v"), "[C]\r\nk=v\r\n");
}

TEST(IniText, ValuesCannotBreakTheLineStructure) {
  std::string text = withValue("", "A", "k", "one\ntwo\r\nthree");
  std::string v;
  ASSERT_TRUE(find(text, "A", "k", v));
  EXPECT_EQ(v, "one two  three");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST(IniFile, LongValuesAreCutTo259Characters) {
  test::TempHome home;
  const std::string p = home.file("Config.ini");
  ASSERT_TRUE(writeProfileString(p, "S", "k", std::string(300, 'a')));
  EXPECT_EQ(readProfileString(p, "S", "k", "").size(), 259u);
  EXPECT_EQ(readProfileString(p, "S", "absent", "dflt"), "dflt");
  EXPECT_EQ(readProfileString(p, "S", "absent", std::string(400, 'd')).size(), 259u);
}

TEST(IniFile, BinaryFileReadsAsDefaultsAndKeepsItsBytesOnWrite) {
  test::TempHome home;
  const std::string bytes = junk(2048);
  home.writeFile("Config.ini", bytes);
  const std::string p = home.file("Config.ini");
  EXPECT_EQ(readProfileString(p, "Split_Page", "CUT_FT", "6"), "6");
  ASSERT_TRUE(writeProfileString(p, "Split_Page", "CUT_FT", "4"));
  const std::string after = home.readFile("Config.ini");
  EXPECT_EQ(after.substr(0, bytes.size()), bytes);
  EXPECT_EQ(readProfileString(p, "Split_Page", "CUT_FT", "6"), "4");
}

TEST(IniFile, UnreadableFilesAreToldApartFromMissingAndGoodOnes) {
  test::TempHome home;
  const std::string p = home.file("Config.ini");
  EXPECT_EQ(checkProfileFile(p).state, ProfileFileState::Missing);
  home.writeFile("Config.ini", "[Modbus]\r\nXitong_IP=127.0.0.9\r\n");
  EXPECT_EQ(checkProfileFile(p).state, ProfileFileState::Readable);
  home.writeFile("Config.ini", asUtf16("[Modbus]\r\nXitong_IP=127.0.0.9\r\n"));
  EXPECT_EQ(checkProfileFile(p).state, ProfileFileState::Readable);
  const struct { std::string bytes; const char* reason; } rows[] = {  // reason nullptr: readable
      {"", nullptr},  // every key at its default
      {"; only a comment\r\n\r\n", nullptr},
      {"\xFF\xFE[Modbus]\r\nXitong_IP=127.0.0.9\r\n", "UTF-16"},  // a byte-order mark before an 8-bit file
      {junk(512), "binary"},
      {std::string("\xFE\xFF\0[\0A\0]", 8), "binary"},  // UTF-16 big-endian: NUL in every other byte
      {"Xitong_IP=127.0.0.9\n", ""},                     // no section
  };
  for (const auto& row : rows) {
    const ProfileFileCheck c = checkProfileBytes(row.bytes);
    EXPECT_EQ(c.unreadable(), row.reason != nullptr) << row.bytes;
    EXPECT_NE(c.reason.find(row.reason ? row.reason : ""), std::string::npos) << c.reason;
  }
  // A folder where the file should be: unreadable, reads give defaults, writes fail and touch nothing.
  std::filesystem::remove(p);
  std::filesystem::create_directories(p);
  EXPECT_TRUE(checkProfileFile(p).unreadable());
  EXPECT_EQ(readProfileString(p, "A", "k", "d"), "d");
  EXPECT_FALSE(writeProfileString(p, "A", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_directory(p));
}

// A UTF-16 file is read, written back as UTF-16, and keeps a stray last byte.
TEST(IniFile, Utf16FileStaysUtf16AndKeepsAStrayLastByte) {
  test::TempHome home;
  const std::string p = home.file("Config.ini");
  home.writeFile("Config.ini", asUtf16("[Modbus]\r\nXitong_IP=127.0.0.9\r\n") + "\x41");
  EXPECT_EQ(readProfileString(p, "Modbus", "Xitong_IP", ""), "127.0.0.9");
  ASSERT_TRUE(writeProfileString(p, "Modbus", "Channel_No", "7"));
  ASSERT_TRUE(writeProfileString(p, "Modbus", "Xitong_IP", "127.0.0.8"));
  EXPECT_EQ(home.readFile("Config.ini"),
            asUtf16("[Modbus]\r\nXitong_IP=127.0.0.8\r\nChannel_No=7\r\n") + "\x41");
}

}  // namespace
}  // namespace qel::config
