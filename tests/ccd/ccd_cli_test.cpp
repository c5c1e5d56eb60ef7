// The print-and-cut demo as a user runs it: `qelcut sim --sheet` with a sheet printed at
// 100.3 % and turned 0.7 degrees, `qelcut sim --configure-home`, then `qelcut ccd`, which must
// find the marks, print the correction and send the pattern to the simulated coordinator.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/ini_config.h"
#include "support/process.h"
#include "support/temp_home.h"

namespace {

using ::testing::ContainsRegex;
using qel::test::CommandResult;
using qel::test::runCommand;

// `qelcut sim --configure-home ARGS`, then `qelcut ccd CCD` while `qelcut sim ARGS` runs (as its
// own process, once it says it runs): what ccd printed and its status.
CommandResult demo(const qel::test::TempHome& home, const std::string& args, const std::string& ccd,
                   const std::function<void()>& configured = {}) {
  const std::string q = QELCUT_PATH;
  const CommandResult setup = runCommand(q + " sim --configure-home" + args);
  EXPECT_EQ(setup.status, 0) << setup.output;
  EXPECT_NE(setup.output.find("simulated table"), std::string::npos) << setup.output;
  if (configured) configured();
  std::filesystem::remove(home.file("sim.log"));  // an earlier run's "running" must not be taken for this one's
  qel::test::ChildProcess sim({"/bin/sh", "-c", "exec " + q + " sim" + args}, home.file("sim.log"), SIGINT);
  EXPECT_TRUE(sim.waitLog("running")) << "the simulated machine did not start within 10 s: " << sim.log();
  const CommandResult out = runCommand(q + " ccd " + ccd + " --home " + home.path());
  sim.stop();
  return out;
}

// The four marks of every sheet here.
const char* const kMarks = "SP8;PU800,800;CI160;PU;SP8;PU12800,800;CI160;PU;SP8;PU12800,8800;CI160;PU;SP8;PU800,8800;CI160;PU;";

}  // namespace

// Sheet after sheet by job code, as the shop runs it: ten sheets of three jobs in shuffled order,
// each laid a little differently, with blur, noise, uneven light and a smudged mark, fed one by
// one by the coordinator; every sheet is cut with its own job, the smudged mark left out of the
// fit, and each sheet's record can be shown again.
TEST(CcdCommand, TenShuffledSheetsOfThreeJobsAreEachCutWithTheirOwnJob) {
  if (::geteuid() != 0) GTEST_SKIP() << "the simulated command line needs port 23 (root)";
  qel::test::TempHome home;
  const std::vector<std::string> jobs{"alpha", "beta", "gamma"};
  for (std::size_t j = 0; j < jobs.size(); ++j) {
    home.writeFile("Jobs/" + jobs[j] + ".plt", std::string("IN;") + kMarks + "SP1;PU2400,2400;PD11200,2400,11200,7200;PU;SP1;PU" +
                                                   std::to_string(3000 + 400 * j) + ",3000;PD9000,6000;PU;SP0;");
  }
  const std::vector<int> order{2, 0, 1, 1, 0, 2, 0, 1, 2, 0};
  std::string args = " --home " + home.path() + " --bind 127.0.0.207 --codes --mark-faults";
  for (int j : order) args += " --sheet " + home.file("Jobs/" + jobs[j] + ".plt");
  const auto [status, out] = demo(home, args, "--jobs " + home.file("Jobs") + " --sheets 10", [&] {
    qel::config::CIniConfig cfg(home.path());
    cfg.write(qel::config::keys::MoveSpeed, 3000);
    cfg.write(qel::config::keys::MoveAccel, 30000);
    cfg.write(qel::config::keys::WaitTime4Capture, 100);
  });
  ASSERT_EQ(status, 0) << out << home.readFile("sim.log");
  EXPECT_NE(out.find("sheets: 10 cut, 0 skipped"), std::string::npos) << out;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const std::string line = "sheet " + std::to_string(i + 1) + ": job " + jobs[order[i]] + " (";
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  }
  // The smudged mark is left out of its sheet's fit (where strokes land is the workflow tests' check).
  EXPECT_NE(out.find("not found: left out"), std::string::npos) << out;
  std::vector<std::string> records;
  for (const auto& e : std::filesystem::directory_iterator(home.file("PrintedDir")))
    if (e.path().extension() == ".json") records.push_back(e.path().string());
  ASSERT_EQ(records.size(), 10u);
  // A record printed again later; a file that is no record is refused.
  const auto [shownStatus, shown] = runCommand(std::string(QELCUT_PATH) + " ccd --record " + records[0]);
  EXPECT_EQ(shownStatus, 0) << shown;
  EXPECT_THAT(shown, ContainsRegex(R"(mark 1: design \(20\.000, 20\.000\) mm, measured .* confidence 0\.[0-9][0-9])"));
  EXPECT_NE(shown.find("correction (affine)"), std::string::npos) << shown;
  home.writeFile("not-a-record.json", "{\"marks\": 3}");
  const CommandResult refused = runCommand(std::string(QELCUT_PATH) + " ccd --record " + home.file("not-a-record.json"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("not a quality record"), std::string::npos) << refused.output;
}

// The same sheet as a PDF from a design program: the marks printed as filled circles in the
// registration colour, the cut line in CutContour. The simulated table prints the PDF's marks,
// and `qelcut ccd` registers and cuts the PDF as it does the plot file, every mark within
// 0.05 mm of the fit.
TEST(CcdCommand, APdfSheetIsPrintedRegisteredAndCutAsAPlotFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "the simulated command line needs port 23 (root)";
  qel::test::TempHome home;
  // 340 x 240 mm in points, drawn in mm.
  home.writeFile("sheet.ps",
                 "%!PS\n<< /PageSize [963.780 680.315] >> setpagedevice 2.834646 2.834646 scale 0.2 setlinewidth\n"
                 "[/Separation (All) /DeviceCMYK {dup dup dup}] setcolorspace 1 setcolor\n"
                 "newpath 20 20 4 0 360 arc closepath fill newpath 320 20 4 0 360 arc closepath fill\n"
                 "newpath 320 220 4 0 360 arc closepath fill newpath 20 220 4 0 360 arc closepath fill\n"
                 "[/Separation (CutContour) /DeviceCMYK {dup 0 exch 0}] setcolorspace 1 setcolor\n"
                 "newpath 60 60 moveto 280 60 lineto 280 180 lineto 60 180 lineto closepath stroke\n"
                 "0 0 0 1 setcmykcolor newpath 70 70 moveto 270 170 lineto stroke showpage\n");
  const CommandResult converted = runCommand("ps2pdf " + home.file("sheet.ps") + " " + home.file("sheet.pdf"));
  if (converted.status != 0) GTEST_SKIP() << "Ghostscript (ps2pdf) is not installed: " << converted.output;
  const std::string sim = " --home " + home.path() + " --bind 127.0.0.205 --sheet " + home.file("sheet.pdf") +
                          " --print-scale 1.003 --print-rotate 0.7",
                    ccd = home.file("sheet.pdf") + " --cut-type 1";
  const auto [status, out] = demo(home, sim, ccd);
  ASSERT_EQ(status, 0) << out << home.readFile("sim.log");
  EXPECT_NE(out.find("design (320.000, 220.000) mm"), std::string::npos) << out;
  EXPECT_THAT(out, ContainsRegex(R"(angle 0\.(69[5-9]|70[0-4]))"));  // 0.7 degrees to 0.005
  EXPECT_NE(out.find("ratio_x 1.003"), std::string::npos) << out;
  EXPECT_THAT(out, ContainsRegex(R"(mark residuals \(mm\): 1 0\.0[0-4][0-9], 2 0\.0[0-4][0-9], 3 0\.0[0-4][0-9], 4 0\.0[0-4][0-9])"));
  EXPECT_NE(out.find("File: Send selected pattern finished"), std::string::npos) << out;
  EXPECT_NE(home.readFile("sim.log").find("temp.PLT received"), std::string::npos);
  bool recorded = false;
  for (const auto& e : std::filesystem::directory_iterator(home.file("PrintedDir")))
    recorded = recorded || e.path().filename().string().rfind("sheet_", 0) == 0;
  EXPECT_TRUE(recorded);
  // A limit no real fit meets: the residuals are printed, the mark named, and nothing sent.
  const auto [refusedStatus, refused] = demo(home, sim, ccd, [&] {
    qel::config::CIniConfig(home.path()).write(qel::config::keys::MaxMarkResidual, 0.0001);
  });
  EXPECT_EQ(refusedStatus, 1) << refused;
  EXPECT_NE(refused.find("mark residuals (mm): 1 "), std::string::npos) << refused;
  EXPECT_THAT(refused, ContainsRegex(R"(qelcut ccd: Mark [0-9] is 0\.[0-9]{3} mm off the corrected pattern)"));
  EXPECT_EQ(refused.find("File: Sending"), std::string::npos) << refused;

  // A missing file: the file pane's text and exit status 1.
  const CommandResult missing = runCommand(std::string(QELCUT_PATH) + " ccd " + home.file("nothing.plt") + " --home " + home.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("File: Not exist"), std::string::npos) << missing.output;
}
