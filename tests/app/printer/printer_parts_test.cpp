// The printer application's own rules below the framework: printer names from settings, job file
// names from network input, the listening address, and the web pages' Chinese texts.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>

#include "app/printer/job_text.h"
#include "app/printer/printer_names.h"
#include "config/ini_config.h"
#include "support/temp_home.h"

namespace qel::app::printer {
namespace {

TEST(PrinterNames, NamedByPrinterNameElseByTheLink) {
  const struct { std::map<std::string, std::string> keys; std::string name; } cases[] = {  // keys: "section/key"
      {{{"Printer/Printer_Name", "Vinyl Cutter/2"}}, "Vinyl-Cutter-2"},
      {{{"Printer/Printer_Name", "  cutter_A.1  "}}, "cutter_A.1"},
      {{{"Transfer_Config/Xitong_TT", "3"}, {"Modbus/Xitong_IP", "127.0.0.1"}}, "QEL-DSP-127.0.0.1"},
      {{{"Transfer_Config/Xitong_TT", "4"}, {"Modbus/Xitong_IP", "10.1.2.3"}}, "QEL-ARM-10.1.2.3"},
      {{{"Transfer_Config/Xitong_TT", "5"}, {"Modbus/Xitong_IP", "10.1.2.4"}}, "QEL-MC-10.1.2.4"},
      {{{"Transfer_Config/Xitong_TT", "1"}, {"Parallel/Parallel_No", "2"}}, "Parallel-LPT2"},
      {{{"Transfer_Config/Xitong_TT", "2"}, {"Serial/Serial_Comport", "/dev/ttyUSB0"}}, "Serial-dev-ttyUSB0"},
      {{{"Transfer_Config/Xitong_TT", "7"}}, "Cutter-7"},
      // A name of nothing usable falls back to the link.
      {{{"Printer/Printer_Name", "切割机 #"}, {"Transfer_Config/Xitong_TT", "3"}, {"Modbus/Xitong_IP", "127.0.0.9"}}, "QEL-DSP-127.0.0.9"},
      {{{"Printer/Printer_Name", std::string(100, 'x')}}, std::string(63, 'x')},
  };
  for (const auto& c : cases) {
    test::TempHome home;
    config::CIniConfig cfg(home.path());
    for (const auto& [path, value] : c.keys) {
      const auto slash = path.find('/');
      cfg.writeText(path.substr(0, slash), path.substr(slash + 1), value);
    }
    EXPECT_EQ(printerNameFor(cfg), c.name);
  }
}

TEST(PrinterNames, JobFileNamesNeverLeaveTheJobFolder) {
  const struct { const char *jobName, *file; } cases[] = {
      {"design.plt", "design-job12.plt"},
      {"../../etc/passwd", "passwd-job12.plt"},
      {"C:\\Users\\ann\\Desktop\\logo v2.hpgl", "logo_v2-job12.plt"},
      {".hidden", "hidden-job12.plt"},
      {"..", "job-job12.plt"},
      {"", "job-job12.plt"},
      {"a b;c`rm -rf`$(x).plt", "a_b_c_rm_-rf_x-job12.plt"},
      {"设计图.plt", "job-job12.plt"},
      {"name\n\r\t.plt", "name-job12.plt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.jobName);
    EXPECT_EQ(jobFileName(12, c.jobName, ".plt"), c.file);
  }
  EXPECT_EQ(jobFileName(1, std::string(300, 'y'), ".plt"), std::string(40, 'y') + "-job1.plt");
}

TEST(PrinterNames, ListenAddresses) {
  const struct { const char *text, *host; int port; bool loopback; } cases[] = {
      {"localhost:8631", "localhost", 8631, true},
      {"127.0.0.2:9000", "127.0.0.2", 9000, true},
      {"[::1]:8631", "::1", 8631, true},
      {"0.0.0.0:8631", "", 8631, false},
      {"*:631", "", 631, false},
      {":8631", "", 8631, false},
      {"192.168.1.5:8631", "192.168.1.5", 8631, false},
      {"cutter.example:8631", "cutter.example", 8631, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const auto a = parseListen(c.text, &error);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->host == c.host && a->port == c.port && a->loopback == c.loopback);
  }
  for (const char* bad : {"8631", "localhost:", "localhost:0", "localhost:65536", "localhost:86a1", "bad host!:8631"}) {
    std::string error;
    EXPECT_TRUE(!parseListen(bad, &error) && !error.empty()) << bad;
  }
}

// Every text of the web pages and of the job messages has its Chinese, with the same
// placeholders in the same order (they fill the same printf arguments).
TEST(WebTexts, EveryTextHasItsChineseWithTheSamePlaceholders) {
  auto read = [](const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string dir = std::string(QEL_SOURCE_DIR) + "/src/app/printer/";
  std::map<std::string, std::string> zh;
  const std::string strings = read(dir + "web_zh.strings");
  const std::regex pair(R"re("((?:[^"\\]|\\.)*)"\s*=\s*"((?:[^"\\]|\\.)*)"\s*;)re");
  for (std::sregex_iterator it(strings.begin(), strings.end(), pair), end; it != end; ++it)
    zh[std::regex_replace((*it)[1].str(), std::regex(R"(\\(.))"), "$1")] = (*it)[2].str();
  ASSERT_GT(zh.size(), 40u);

  std::vector<std::string> texts(jobMessageTexts().begin(), jobMessageTexts().end());
  const std::string pages = read(dir + "web_pages.cpp");
  const std::regex call(R"re(tr\(client, "((?:[^"\\]|\\.)*)"\))re");
  for (std::sregex_iterator it(pages.begin(), pages.end(), call), end; it != end; ++it)
    texts.push_back(std::regex_replace((*it)[1].str(), std::regex(R"(\\(.))"), "$1"));
  for (const char* conditional : {"Queued jobs", "History", "No job is queued.", "No job in the history.",
                                  "The form was not valid: reload the page and try again.", "The cutter is paused.",
                                  "The cutter continues.", "There is no such job.", "The job is being cancelled.",
                                  "Unknown action.", "Cutters"})
    texts.push_back(conditional);
  ASSERT_GT(texts.size(), 40u);

  auto placeholders = [](const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i + 1 < s.size(); ++i)
      if (s[i] == '%') out += s[++i];
    return out;
  };
  for (const std::string& t : texts) {
    SCOPED_TRACE(t);
    auto it = zh.find(t);
    ASSERT_NE(it, zh.end()) << "no Chinese for this text in web_zh.strings";
    EXPECT_EQ(placeholders(it->second), placeholders(t));
  }
}

}  // namespace
}  // namespace qel::app::printer
