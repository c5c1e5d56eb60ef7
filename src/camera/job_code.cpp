#define ZX_USE_UTF8 1
#include "camera/job_code.h"

#include <sys/stat.h>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <ZXing/ReadBarcode.h>

#include <exception>

namespace qel::camera {

namespace {
constexpr std::size_t kMaxJobName = 120;

bool regularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

std::optional<JobCode> readJobCode(const cv::Mat& grey) {
  if (grey.empty() || grey.type() != CV_8UC1) return std::nullopt;
  const ZXing::ImageView view(grey.data, grey.cols, grey.rows, ZXing::ImageFormat::Lum,
                              static_cast<int>(grey.step[0]));
  ZXing::DecodeHints hints;
  hints.setFormats(ZXing::BarcodeFormat::QRCode | ZXing::BarcodeFormat::DataMatrix);
  hints.setTryHarder(true);
  const ZXing::Result r = ZXing::ReadBarcode(view, hints);
  if (!r.isValid()) return std::nullopt;
  JobCode code;
  code.text = r.text();
  code.format = r.format() == ZXing::BarcodeFormat::DataMatrix ? CodeFormat::DataMatrix : CodeFormat::QrCode;
  const auto& p = r.position();
  code.centre = {(p[0].x + p[1].x + p[2].x + p[3].x) / 4.0, (p[0].y + p[1].y + p[2].y + p[3].y) / 4.0};
  return code;
}

cv::Mat codeModules(const std::string& text, CodeFormat format) {
  const auto f = format == CodeFormat::DataMatrix ? ZXing::BarcodeFormat::DataMatrix : ZXing::BarcodeFormat::QRCode;
  try {
    const ZXing::BitMatrix m = ZXing::MultiFormatWriter(f).setMargin(0).encode(text, 0, 0);
    cv::Mat out(m.height(), m.width(), CV_8UC1);
    for (int y = 0; y < m.height(); ++y)
      for (int x = 0; x < m.width(); ++x) out.at<std::uint8_t>(y, x) = m.get(x, y) ? 0 : 255;
    return out;
  } catch (const std::exception&) {
    return {};  // too long for the format, or characters it cannot hold
  }
}

std::optional<std::string> jobNameFromCode(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::nullopt;
  const std::string name = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  if (name.size() > kMaxJobName || name == "." || name == "..") return std::nullopt;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7f || c == '/' || c == '\\') return std::nullopt;
  return name;
}

std::optional<std::string> jobFileFor(const std::string& jobDir, const std::string& name) {
  const std::string base = jobDir.empty() || jobDir.back() == '/' ? jobDir + name : jobDir + "/" + name;
  for (const char* ext : {"", ".plt", ".PLT", ".hpgl", ".HPGL", ".pdf", ".PDF", ".svg", ".SVG"})
    if (regularFile(base + ext)) return base + ext;
  return std::nullopt;
}

}  // namespace qel::camera
