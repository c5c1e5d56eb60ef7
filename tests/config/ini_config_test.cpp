#include "config/ini_config.h"

#include <gtest/gtest.h>

#include <thread>

#include "config/language.h"
#include "support/temp_home.h"

namespace qel::config {
namespace {

TEST(CIniConfig, FirstConstructionWritesExactlyTheCreationValues) {
  test::TempHome home;
  CIniConfig cfg(home.path());
  const std::string p = home.path() + "/";
  const std::string expected =
      "[Transfer_Config]\r\nXitong_TT=3\r\n"
      "[Modbus]\r\nXitong_IP=192.168.0.250\r\n"
      "[Split_Page]\r\nCUT_FT=6\r\nSplit_Label=PG;\r\nPage_Width=1500.000000\r\nPage_Height=1200.000000\r\n"
      "[FontDispose]\r\nFontDispose_Enabled=0\r\nScale=100\r\n"
      "[Language_ID]\r\nLanguage_Type=0\r\n"
      "[Watcher]\r\nWatcher_Dir=" + p + "ListenDir\r\n";
  EXPECT_EQ(home.readFile("Config.ini"), expected);
  EXPECT_EQ(cfg.read(keys::Language_Type), 0);
  EXPECT_EQ(loadLanguageFlag(cfg), 0);  // a new file starts in Chinese
  EXPECT_STREQ(tr2("Pause", "暂停"), "暂停");
  setLanguageFlag(1);
  EXPECT_DOUBLE_EQ(cfg.read(keys::Page_Width), 1500.0);
  EXPECT_EQ(cfg.read(keys::Watcher_Dir), p + "ListenDir");
}

TEST(CIniConfig, DeletedFileIsCreatedAgainByTheNextStore) {
  test::TempHome home;
  { CIniConfig cfg(home.path()); cfg.write(keys::CUT_FT, 4); }
  std::filesystem::remove(home.file("Config.ini"));
  CIniConfig again(home.path());
  EXPECT_EQ(again.read(keys::CUT_FT), 6);
}

TEST(CIniConfig, TypedConversions) {
  test::TempHome home;
  CIniConfig cfg(home.path());
  cfg.write(keys::Page_Width, 1500);
  EXPECT_NE(home.readFile("Config.ini").find("Page_Width=1500.000000"), std::string::npos);
  for (const auto& [text, value] : {std::pair{"abc", 0}, {"12abc", 12}, {"99999999999999", INT_MAX}}) {
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", text);
    EXPECT_EQ(cfg.read(keys::Transfer_DelayTime), value) << text;
  }
  cfg.writeText("Split_Page", "Page_Height", "x12");
  EXPECT_EQ(cfg.read(keys::Page_Height), 0.0);
  cfg.write(keys::Xitong_IP, std::string(300, '1'));
  EXPECT_EQ(cfg.read(keys::Xitong_IP).size(), 259u);
}

TEST(CIniConfig, CalibrationGroupsDefaultsAndKeys) {
  test::TempHome home;
  CIniConfig cfg(home.path());
  cfg.writeText("Camera_Para2", "unrelated", "1");  // a group that exists still gives the defaults
  const struct { int group, index; double value; } defaults[] = {
      {1, 1, 100}, {1, 3, 320}, {1, 6, 240}, {1, 9, 0}, {3, 5, 1}, {3, 4, 0}, {5, 1, 1}};
  for (const auto& d : defaults) EXPECT_EQ(cfg.readCameraPara(2, d.group, d.index), d.value) << d.group << "/" << d.index;
  EXPECT_EQ(CIniConfig::cameraParaKey(9, 3), "3");
  cfg.writeCameraPara(3, 2, 4, -0.125);
  EXPECT_EQ(cfg.readText("Camera_Para3", "DISTORTION4", ""), "-0.125000");
  EXPECT_EQ(cfg.readBoardName(3), "M_3");
}

TEST(CIniConfig, PathSwitchReadsTheCalibrationFile) {
  test::TempHome home;
  home.writeFile("calibration/Config.ini", "[Camera_Para0]\r\nINTRINSIC1=812.5\r\n[Camera]\r\nmarkType=1\r\n");
  CIniConfig cfg(home.path());
  cfg.useCalibrationFile();
  EXPECT_EQ(cfg.readCameraPara(0, 1, 1), 812.5);
  EXPECT_EQ(cfg.read(keys::markType), 1);
  cfg.useCalibrationFile();  // twice is the same as once
  EXPECT_EQ(cfg.read(keys::markType), 1);
  cfg.useMainFile();
  EXPECT_EQ(cfg.readCameraPara(0, 1, 1), 100);
  EXPECT_EQ(cfg.read(keys::markType), 0);
}

TEST(CIniConfig, DirectoryKeysFallBackToTheHomeFolder) {
  test::TempHome home;
  CIniConfig cfg(home.path() + "/");
  EXPECT_EQ(cfg.read(keys::SPD), home.path() + "/PrintedDir");
  cfg.writeText("SavePrinted", "SPD", "/srv/printed");
  EXPECT_EQ(cfg.read(keys::SPD), "/srv/printed");
}

TEST(CIniConfig, SnapshotReadsTheFileOnce) {
  test::TempHome home;
  CIniConfig cfg(home.path());
  cfg.write(keys::CUT_FT, 4);
  CIniConfig snap = cfg.snapshot();
  cfg.write(keys::CUT_FT, 7);  // a later change is not seen by the snapshot...
  EXPECT_EQ(snap.read(keys::CUT_FT), 4);
  EXPECT_EQ(snap.read(keys::Optimize_Function), 1);  // defaults as usual
  snap.write(keys::OCC, 1);  // ...until it writes: then it reads the file again
  EXPECT_EQ(snap.read(keys::CUT_FT), 7);
  EXPECT_EQ(snap.read(keys::OCC), 1);
}

TEST(CIniConfig, ConcurrentWritersLoseNoKeys) {
  test::TempHome home;
  CIniConfig(home.path());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&home, t] {
      for (int i = 0; i < 25; ++i) {
        CIniConfig cfg(home.path());
        cfg.writeText("Stress", "k" + std::to_string(t) + "_" + std::to_string(i), std::to_string(i));
      }
    });
  for (auto& th : threads) th.join();
  CIniConfig cfg(home.path());
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i)
      EXPECT_EQ(cfg.readText("Stress", "k" + std::to_string(t) + "_" + std::to_string(i), "-"), std::to_string(i));
  EXPECT_EQ(cfg.read(keys::CUT_FT), 6);
}

}  // namespace
}  // namespace qel::config
