// qelcut-sim-frame: renders what the simulated camera sees over a printed mark and writes it to
// a picture file.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "camera/sim_table.h"

namespace {

void usage(std::FILE* to) {
  std::fprintf(to,
               "usage: qelcut-sim-frame OUT.png [--shape disc|ring|cross] [--at X Y] [--px PX_PER_MM]\n"
               "                        [--rotate RAD] [--noise SIGMA] [--blur SIGMA] [--light FALLOFF]\n"
               "                        [--smudge X Y] [--second X Y]\n"
               "Writes the 640 x 480 frame of a camera looking at a 4 mm mark whose centre appears at\n"
               "pixel (X, Y) (default 320 240); --second adds another mark seen at (X, Y).\n");
}

bool number(int& i, int argc, char** argv, double& out) {
  if (i + 1 >= argc) return false;
  char* end = nullptr;
  out = std::strtod(argv[++i], &end);
  return end && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    }
  }
  if (argc < 2 || std::string(argv[1]).rfind("--", 0) == 0) {
    usage(stderr);
    return 2;
  }
  const std::string out = argv[1];
  qel::sim::SheetSpec sheet;
  qel::sim::CameraSpec cam;
  cv::Point2d at(320, 240);
  std::optional<cv::Point2d> second;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    double x = 0, y = 0;
    bool ok = true;
    if (a == "--shape" && i + 1 < argc) {
      const std::string s = argv[++i];
      if (s == "disc") sheet.shape = qel::sim::MarkShape::Disc;
      else if (s == "ring") sheet.shape = qel::sim::MarkShape::Ring;
      else if (s == "cross") sheet.shape = qel::sim::MarkShape::Cross;
      else ok = false;
    } else if (a == "--at") {
      ok = number(i, argc, argv, at.x) && number(i, argc, argv, at.y);
    } else if (a == "--second") {
      ok = number(i, argc, argv, x) && number(i, argc, argv, y);
      second = cv::Point2d(x, y);
    } else if (a == "--smudge") {
      ok = number(i, argc, argv, x) && number(i, argc, argv, y);
      cam.smudgeAt = cv::Point2d(x, y);
    } else if (a == "--px") {
      ok = number(i, argc, argv, cam.pxPerMmX) && cam.pxPerMmX > 0.5 && cam.pxPerMmX < 200;
      cam.pxPerMmY = cam.pxPerMmX;
    } else if (a == "--rotate") {
      ok = number(i, argc, argv, cam.rotationRad);
    } else if (a == "--noise") {
      ok = number(i, argc, argv, cam.noiseSigma) && cam.noiseSigma >= 0;
    } else if (a == "--blur") {
      ok = number(i, argc, argv, cam.blurSigma) && cam.blurSigma >= 0;
    } else if (a == "--light") {
      ok = number(i, argc, argv, cam.lightFalloff) && cam.lightFalloff >= 0 && cam.lightFalloff <= 1;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "qelcut-sim-frame: bad option or value at '%s'\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }
  // Marks on the sheet at the table points that the pixels show with the camera over (0, 0).
  const cv::Matx22d toTable = qel::sim::tableToPixel(cam).inv();
  auto tableOf = [&](const cv::Point2d& px) {
    const cv::Point2d d = px - cv::Point2d(320, 240);
    return cv::Point2d(toTable(0, 0) * d.x + toTable(0, 1) * d.y, toTable(1, 0) * d.x + toTable(1, 1) * d.y);
  };
  sheet.marks = {tableOf(at)};
  if (second) sheet.marks.push_back(tableOf(*second));
  qel::platform::FakeClock clock;
  qel::sim::SimTable table(clock, sheet, cam);
  const cv::Mat frame = table.renderAt({0, 0});
  bool written = false;
  try {
    written = cv::imwrite(out, frame);
  } catch (const cv::Exception&) {
  }
  if (!written) {
    std::fprintf(stderr, "qelcut-sim-frame: can't write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
