// qelcut marks on picture files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera/sim_table.h"
#include "support/process.h"
#include "support/temp_home.h"

using namespace qel;

namespace {

// `qelcut marks ARGS`, to its end.
test::CommandResult qelcut(const std::string& args) { return test::runCommand(std::string(QELCUT_PATH) + " marks " + args); }

cv::Mat frameWithMark(sim::MarkShape shape, cv::Point2d tableAt) {
  sim::SheetSpec sheet;
  sheet.shape = shape, sheet.marks = {tableAt};
  platform::FakeClock clock;
  return sim::SimTable(clock, sheet, sim::CameraSpec{}).renderAt({0, 0});
}

}  // namespace

TEST(MarksCommand, PrintsCandidatesAndWritesTheAnnotatedPicture) {
  test::TempHome home;
  cv::Mat colour;
  cv::cvtColor(frameWithMark(sim::MarkShape::Disc, {-5.0, 2.5}), colour, cv::COLOR_GRAY2BGR);
  ASSERT_TRUE(cv::imwrite(home.file("frame.png"), colour));
  const test::CommandResult r = qelcut(home.file("frame.png") + " --annotate " + home.file("seen.png"));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("candidates: 1"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("default point: 280.000 260.000"), std::string::npos) << r.output;
  const cv::Mat seen = cv::imread(home.file("seen.png"), cv::IMREAD_COLOR);
  EXPECT_EQ(seen.size(), cv::Size(640, 480));

  ASSERT_TRUE(cv::imwrite(home.file("cross.png"), frameWithMark(sim::MarkShape::Cross, {10.0, 0.0})));
  const test::CommandResult c = qelcut(home.file("cross.png") + " --type cross");
  EXPECT_EQ(c.status, 0) << c.output;
  EXPECT_NE(c.output.find("default point: 400.000 240.000"), std::string::npos) << c.output;
}

TEST(MarksCommand, RefusesWhatItCannotUse) {
  test::TempHome home;
  for (const auto& [file, size, says] : {std::tuple{"big.png", cv::Size(800, 600), "800 x 600"},
                                          {"blank.png", cv::Size(640, 480), "no mark found"}}) {
    ASSERT_TRUE(cv::imwrite(home.file(file), cv::Mat(size, CV_8UC1, cv::Scalar(200))));
    const test::CommandResult r = qelcut(home.file(file));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(says), std::string::npos) << r.output;
  }

  home.writeFile("junk.png", "not a picture");
  for (const char* f : {"junk.png", "missing.png"}) EXPECT_EQ(qelcut(home.file(f)).status, 1) << f;
  for (const char* args : {" --type square", " --min 50 --max 20", " --min abc"})
    EXPECT_EQ(qelcut(home.file("blank.png") + args).status, 2) << args;
  EXPECT_EQ(qelcut("").status, 2);
  // Nothing was created in a home folder that has no Config.ini.
  EXPECT_EQ(qelcut(home.file("blank.png") + " --home " + home.file("h")).status, 1);
  EXPECT_FALSE(std::filesystem::exists(home.file("h")));
}
