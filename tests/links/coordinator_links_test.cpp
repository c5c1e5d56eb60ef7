// The coordinator links (types 3 and 5) and the command client against the coordinator simulator
// on loopback addresses 127.0.0.81 and up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "config/ini_config.h"
#include "controller/crc.h"
#include "coordinator_services.h"
#include "links/controller_transfer.h"
#include "links/dmotion_control.h"
#include "links/mc_command.h"
#include "links/mc_control_transfer.h"
#include "links/fake_owner.h"
#include "support/temp_home.h"
#include "support/wait.h"

using namespace qel;
using links::CController_Transfer;

namespace {

// Real time with skipped sleeps: the 3 s retry pauses and 100 ms steps pass at once while the
// simulator still gets real time to answer.
class SkipClock final : public platform::Clock {
 public:
  std::int64_t nowMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
               .count() +
           offset_.load();
  }
  void sleepMs(std::int64_t ms) override {
    offset_ += ms;
    skipped_ += ms;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  std::atomic<std::int64_t> skipped_{0};

 private:
  std::atomic<std::int64_t> offset_{0};
};

class Owner : public test::FakeTransferOwner {
 public:
  using FakeTransferOwner::FakeTransferOwner;
  bool showMessage(const std::string& title, const std::string& text, Buttons buttons) override {
    std::lock_guard<std::mutex> g(mm_);
    messages_.push_back(title + ": " + text + (buttons == Buttons::OkCancel ? " [OK/Cancel]" : ""));
    return answerOk_;
  }
  platform::Clock& clock() override { return clock_; }
  int language() const override { return lang_; }
  std::vector<std::string> messages() {
    std::lock_guard<std::mutex> g(mm_);
    return messages_;
  }
  SkipClock clock_;
  bool answerOk_ = true;
  int lang_ = 1;

 private:
  std::mutex mm_;
  std::vector<std::string> messages_;
};

std::string allBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s;
}

// A plot-like file with every byte that needs escaping sprinkled in.
std::string plotFile(std::size_t size) {
  std::string s;
  s.reserve(size + 64);
  std::mt19937 rng(7);
  while (s.size() < size) {
    s += "PU" + std::to_string(rng() % 40000) + "," + std::to_string(rng() % 40000) + ";PD1,2;";
    if (rng() % 50 == 0) s += "\x02\x03\\";
  }
  s.resize(size);
  return s;
}

struct Bench {
  test::TempHome home;
  Owner owner{home.path()};
  std::unique_ptr<sim::CoordinatorServices> sim;

  explicit Bench(const std::string& address, sim::CoordinatorServiceOptions o = {}) {
    std::string error;
    sim = sim::startCoordinatorServices(address, o, &error);
    EXPECT_TRUE(sim) << error;
    set("Modbus", "Xitong_IP", address);
    set("Modbus", "Modbus_LinkType", "2");
    // The skipping clock runs ahead of real time; a slow machine must not meet the CRC time-out.
    set("Modbus", "Time_Value", "36000");
  }
  void set(const char* section, const char* key, const std::string& value) {
    config::CIniConfig cfg(home.path());
    cfg.writeText(section, key, value);
  }
  std::string put(const std::string& name, const std::string& content) {
    home.writeFile(name, content);
    return home.file(name);
  }
  CController_Transfer link(const std::string& path, std::int32_t size, CController_Transfer::Options o = {}) {
    o.connectTimeoutMs = 500;
    return CController_Transfer(owner, path, size, std::move(o));
  }
};

bool startsWith(const std::string& s, const std::string& p) { return s.rfind(p, 0) == 0; }

}  // namespace

TEST(ControllerFileFormat, HeaderEscapeReplyAndDuration) {
  EXPECT_EQ(CController_Transfer::header("/any/folder/verylongname.hpgl"), "\x01SD:verylong.hpg\x02");
  EXPECT_EQ(CController_Transfer::header("/a.b/job"), "\x01SD:job\x02");
  EXPECT_EQ(CController_Transfer::escape(std::string("\x41\x02\x5C\x03", 4)), "A\\s\\\\\\e");
  std::uint32_t crc = 0;
  EXPECT_EQ(CController_Transfer::parseReply("crc=fee8", &crc), CController_Transfer::kFlagCrc);
  EXPECT_EQ(crc, 0xFEE8u);
  EXPECT_EQ(CController_Transfer::parseReply("CRC=  1a2bxyz", &crc), CController_Transfer::kFlagCrc);
  EXPECT_EQ(crc, 0x1A2Bu);
  EXPECT_EQ(CController_Transfer::parseReply("Abort", &crc), CController_Transfer::kFlagAbort);
  EXPECT_EQ(CController_Transfer::parseReply("READY", &crc), 0u);
  EXPECT_EQ(CController_Transfer::durationText(3725), "\nDuration=01:02:05");
  // The CRC is taken over the raw bytes.
  EXPECT_EQ(controller::crc16Fast("123456789", 9), 0xFEE8);
}

TEST(ControllerFileLink, FactoryMakesTypesThreeAndFive) {
  test::TempHome home;
  Owner owner(home.path());
  const auto f = links::LinkFactory::standard();
  auto three = f.make(3, owner, home.file("a.plt"), 1);
  auto five = f.make(5, owner, home.file("a.plt"), 1);
  EXPECT_NE(dynamic_cast<CController_Transfer*>(three.get()), nullptr);
  EXPECT_NE(dynamic_cast<links::CMCControl_Transfer*>(five.get()), nullptr);
}

TEST(ControllerFileLink, EthernetDownloadsAllByteValuesAndAPlotFileByteExact) {
  Bench b("127.0.0.81");
  b.owner.setStopRequest(true);  // a pause pressed before the send does not stop it
  const std::string bytes = allBytes();
  const std::string path = b.put("all_bytes.bin", bytes);
  auto link = b.link(path, static_cast<std::int32_t>(bytes.size()));
  ASSERT_TRUE(link.send()) << link.resultText();
  EXPECT_TRUE(startsWith(link.resultText(), "File transfer successful.\nDuration=00:00:")) << link.resultText();
  auto d = b.sim->sim().downloads();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].name, "all_by~1.bin");  // a name that had to be cut is numbered
  EXPECT_EQ(d[0].channel, 0);
  EXPECT_EQ(d[0].data, bytes);

  const std::string plot = plotFile(5 * 1024 * 1024);
  const std::string plotPath = b.put("job.plt", plot);
  auto big = b.link(plotPath, static_cast<std::int32_t>(plot.size()));
  ASSERT_TRUE(big.send()) << big.resultText();
  d = b.sim->sim().downloads();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_TRUE(d[1].data == plot);
  const auto progress = b.owner.progress();
  ASSERT_GE(progress.size(), 4u);
  EXPECT_EQ(progress.front(), "range 0..100");
  EXPECT_EQ(progress[1], "pos 1");
  EXPECT_NE(std::find(progress.begin(), progress.end(), "pos 50"), progress.end());
  EXPECT_EQ(progress.back(), "pos 0");
}

TEST(ControllerFileLink, ChannelProtocolSendsOnTheChosenChannel) {
  Bench b("127.0.0.82");
  b.set("Modbus", "Channel_Protocol_Enabled", "1");
  b.set("Modbus", "Channel_No", "6");
  const std::string body = plotFile(100000);
  auto link = b.link(b.put("chan.plt", body), 100000);
  ASSERT_TRUE(link.send()) << link.resultText();
  auto d = b.sim->sim().downloads();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].channel, 6);
  EXPECT_EQ(d[0].data, body);
  EXPECT_NE(b.sim->sim().commandLines().find("MPE(1)"), std::string::npos);
}

TEST(ControllerFileLink, SerialOverAPseudoTerminal) {
  sim::CoordinatorServiceOptions o;
  o.pty = true;
  o.commandPort = -1;
  Bench b("127.0.0.83", o);
  b.set("Modbus", "Modbus_LinkType", "0");
  CController_Transfer::Options lo;
  lo.serialDevice = b.sim->ptyPath();
  const std::string bytes = allBytes() + plotFile(5 * 1024 * 1024);
  auto link = b.link(b.put("serial.plt", bytes), static_cast<std::int32_t>(bytes.size()), lo);
  ASSERT_TRUE(link.send()) << link.resultText();
  auto d = b.sim->sim().downloads();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_TRUE(d[0].data == bytes);
}

TEST(ControllerFileLink, WrongCrcOnEveryAttemptGivesSixAttempts) {
  Bench b("127.0.0.84");
  sim::CoordinatorFaults f;
  f.downloadWrongCrc = true;
  b.sim->sim().setFaults(f);
  const std::string body = "PU0,0;PD100,100;";
  auto link = b.link(b.put("crc.plt", body), static_cast<std::int32_t>(body.size()));
  EXPECT_FALSE(link.send());
  EXPECT_EQ(link.attempts(), 6);
  EXPECT_EQ(b.sim->sim().downloads().size(), 6u);
  const unsigned crc = controller::crc16Fast(body.data(), body.size());
  char want[128];
  std::snprintf(want, sizeof want, "File transfer failed. CRC wrong (Calculated=$%x, Received=$%x)\nDuration=", crc,
                crc ^ 0x1111);
  EXPECT_TRUE(startsWith(link.resultText(), want)) << link.resultText();
  EXPECT_GE(b.owner.clock_.skipped_.load(), 5 * 3000);
}

TEST(ControllerFileLink, AbortMidFileEndsEachAttemptEarly) {
  Bench b("127.0.0.85");
  sim::CoordinatorFaults f;
  f.abortAfterBytes = 1000;
  b.sim->sim().setFaults(f);
  const std::string body = plotFile(5 * 1024 * 1024);
  auto link = b.link(b.put("abort.plt", body), static_cast<std::int32_t>(body.size()));
  EXPECT_FALSE(link.send());
  EXPECT_TRUE(startsWith(link.resultText(), "File transfer cancelled by controller.\nDuration=")) << link.resultText();
  EXPECT_EQ(link.attempts(), 6);
  // What came before the ABORT is never kept as a file.
  EXPECT_TRUE(b.sim->sim().downloads().empty());
}

// A pause or Cancel part-way through a file: the coordinator never gets the end of the file, so
// it keeps nothing it could run; the whole file goes out again on the next send, under the same
// name.
TEST(ControllerFileLink, AStopPartWayLeavesTheCoordinatorNoFile) {
  class StoppingOwner final : public Owner {
   public:
    using Owner::Owner;
    void reportBytesSent(std::int64_t sent, std::int64_t) override {
      if (stopAt_ > 0 && sent >= stopAt_) stop_ = true;
    }
    std::int64_t stopAt_ = 0;
  };
  Bench b("127.0.0.211");
  StoppingOwner owner(b.home.path());
  std::vector<std::string> events;
  std::mutex m;
  b.sim->sim().setEventHook([&](const std::string& e) {
    std::lock_guard<std::mutex> g(m);
    events.push_back(e);
  });
  const std::string body = plotFile(4 * 1024 * 1024);
  const std::string path = b.put("job_20260105_093000_001.PLT", body);
  CController_Transfer::Options o;
  o.connectTimeoutMs = 500;
  owner.stopAt_ = 1024 * 1024;
  CController_Transfer stopped(owner, path, static_cast<std::int32_t>(body.size()), o);
  EXPECT_FALSE(stopped.send());
  EXPECT_TRUE(startsWith(stopped.resultText(), "File transfer cancelled by user.")) << stopped.resultText();
  EXPECT_EQ(stopped.attempts(), 1);
  ASSERT_TRUE(b.sim->sim().waitFor([&] {
    std::lock_guard<std::mutex> g(m);
    return !events.empty();
  }));
  EXPECT_TRUE(b.sim->sim().downloads().empty());
  EXPECT_TRUE(startsWith(events.at(0), "discarded an unfinished download of job_20~1.PLT")) << events.at(0);

  owner.stopAt_ = 0;
  owner.stop_ = false;
  CController_Transfer again(owner, path, static_cast<std::int32_t>(body.size()), o);
  ASSERT_TRUE(again.send()) << again.resultText();
  const auto d = b.sim->sim().downloads();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].name, "job_20~1.PLT");
  EXPECT_TRUE(d[0].data == body);
}

TEST(ControllerFileLink, TimeoutAndSilentCoordinatorWithoutTimeoutEndsOnlyByTheStop) {
  Bench b("127.0.0.86");
  sim::CoordinatorFaults f;
  f.downloadSilent = true;
  b.sim->sim().setFaults(f);
  b.set("Modbus", "Time_Value", "2");
  const std::string path = b.put("quiet.plt", "PU0,0;");
  auto timed = b.link(path, 6);
  EXPECT_FALSE(timed.send());
  EXPECT_TRUE(startsWith(timed.resultText(), "Timeout waiting for CRC.\nDuration=")) << timed.resultText();

  b.set("Modbus", "TimeOut_Enabled", "0");
  auto endless = b.link(path, 6);
  std::atomic<bool> done{false};
  bool ok = true;
  std::thread t([&] {
    ok = endless.send();
    done = true;
  });
  // Far beyond any time-out of the skipping clock, and the send still waits.
  const std::int64_t before = b.owner.clock_.skipped_.load();
  while (b.owner.clock_.skipped_.load() - before < 600 * 1000 && !done) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(done.load());
  b.owner.setStopRequest(true);
  t.join();
  EXPECT_FALSE(ok);
  EXPECT_TRUE(startsWith(endless.resultText(), "File transfer cancelled by user.")) << endless.resultText();
  EXPECT_EQ(endless.attempts(), 1);
}

TEST(ControllerFileLink, FailuresOfConnectionFileLineAndWorker) {
  test::TempHome home;
  Owner owner(home.path());
  {
    config::CIniConfig cfg(home.path());
    cfg.writeText("Modbus", "Xitong_IP", "127.0.0.87");  // nothing listens there
  }
  CController_Transfer::Options o;
  o.connectTimeoutMs = 300;
  CController_Transfer none(owner, home.file("x.plt"), 1, o);
  EXPECT_FALSE(none.send());
  EXPECT_EQ(none.resultText(), "MC_Connect_Fail");
  EXPECT_EQ(none.attempts(), 1);

  Bench b("127.0.0.88");
  auto missing = b.link(b.home.file("missing.plt"), 10);
  EXPECT_FALSE(missing.send());
  EXPECT_TRUE(startsWith(missing.resultText(), "Error in file transfer.\nDuration=")) << missing.resultText();

  sim::CoordinatorFaults f;
  f.dropAfterBytes = 5000;
  b.sim->sim().setFaults(f);
  const std::string body = plotFile(200000);
  auto dropped = b.link(b.put("drop.plt", body), 200000);
  EXPECT_FALSE(dropped.send());
  EXPECT_TRUE(startsWith(dropped.resultText(), "Error in file transfer.")) << dropped.resultText();
  b.sim->sim().setFaults({});

  // The reply worker cannot be started: the sending worker is ended before the controller goes.
  CController_Transfer::Options refuse;
  int started = 0;
  refuse.startThread = [&](std::thread& t, std::function<void()> body) {
    if (++started % 2 == 0) return false;
    t = std::thread(std::move(body));
    return true;
  };
  auto noWorker = b.link(b.put("w.plt", body), 200000, refuse);
  EXPECT_FALSE(noWorker.send());
  EXPECT_EQ(noWorker.resultText(), "Error creating receive thread");
  EXPECT_EQ(noWorker.attempts(), 6);
}

// ---------------------------------------------------------------------------------------------
// Command client

TEST(CommandClient, CommandLinesByteForByteAndAnswers) {
  Bench b("127.0.0.89");
  links::CMC_Command mc(&b.owner);
  mc.setAddress("127.0.0.89");
  ASSERT_TRUE(mc.movePos(2, 100, 2000, 10.5, 20));
  EXPECT_EQ(b.sim->commandLineBytes(), "base(0,1)\rspeed=100\raccel=2000\rdecel=2000\rmoveabs(10.500000,20.000000)\r");
  double x = -1;
  ASSERT_TRUE(mc.getMpos(2, &x));  // axis 2 asks for axis 0
  EXPECT_NE(b.sim->commandLineBytes().find("?mpos axis(0)\r"), std::string::npos);
  ASSERT_TRUE(mc.setVr(12, 3.25));
  double v = 0;
  ASSERT_TRUE(mc.getVr(12, &v));
  EXPECT_DOUBLE_EQ(v, 3.25);
  ASSERT_TRUE(mc.setOutput(8, 1));
  EXPECT_EQ(b.sim->model().output(8), 1);
  b.sim->model().setInput(3, 1);
  int in = 0;
  ASSERT_TRUE(mc.getInput(3, &in));
  EXPECT_EQ(in, 1);
  EXPECT_NE(b.sim->commandLineBytes().find("vr(12)=3.250000\r?vr(12)\rop(8,1)\r?in(3)\r"), std::string::npos);
  EXPECT_TRUE(b.owner.messages().empty());
}

TEST(CommandClient, AMoveTakesTheTimeItsSpeedGives) {
  Bench b("127.0.0.90");
  links::CMC_Command mc(&b.owner);
  mc.setAddress("127.0.0.90");
  // About 2 s at speed 25, so that a loaded machine still reads the head under way.
  ASSERT_TRUE(mc.movePos(0, 25, 1000, 50, 0));
  double x = -1;
  ASSERT_TRUE(mc.getMpos(0, &x));
  EXPECT_LT(x, 50);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(8);
  while (x != 50 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(mc.getMpos(0, &x));
  }
  EXPECT_DOUBLE_EQ(x, 50);
  double y = -1;
  ASSERT_TRUE(mc.getMpos(1, &y));
  EXPECT_DOUBLE_EQ(y, 0);
}

TEST(CommandClient, AnswerParsing) {
  EXPECT_DOUBLE_EQ(links::CMC_Command::parseAnswer("123.5\r\n>>"), 123.5);
  EXPECT_DOUBLE_EQ(links::CMC_Command::parseAnswer("42>>"), 42);
  EXPECT_DOUBLE_EQ(links::CMC_Command::parseAnswer("-7<"), -7);
  EXPECT_DOUBLE_EQ(links::CMC_Command::parseAnswer(""), 0);
  EXPECT_DOUBLE_EQ(links::CMC_Command::parseAnswer("\r\n>>"), 0);
}

TEST(CommandClient, FailuresPromptUnlessStopped) {
  test::TempHome home;
  Owner owner(home.path());
  links::CMC_Command bad(&owner);
  bad.setAddress("");
  EXPECT_FALSE(bad.movePos(0, 1, 1, 1, 0));
  ASSERT_EQ(owner.messages().size(), 1u);
  EXPECT_EQ(owner.messages()[0], "Information: invalid host ip!");

  Bench b("127.0.0.91");
  sim::CoordinatorFaults f;
  f.commandSilent = true;
  b.sim->sim().setFaults(f);
  links::CMC_Command mc(&b.owner);
  mc.setAddress("127.0.0.91");
  mc.setReplyTimeoutMs(200);
  b.owner.answerOk_ = false;  // Cancel: retry later
  EXPECT_FALSE(mc.setVr(1, 1));
  EXPECT_FALSE(mc.stopFlag());
  EXPECT_FALSE(mc.connected());
  ASSERT_EQ(b.owner.messages().size(), 1u);
  EXPECT_EQ(b.owner.messages()[0],
            "Information: Network connection failure! Press 'OK' to stop, Press 'Cancel' to retry. [OK/Cancel]");
  b.owner.answerOk_ = true;  // OK: stop
  EXPECT_FALSE(mc.setVr(1, 1));
  EXPECT_TRUE(mc.stopFlag());
  EXPECT_FALSE(mc.setVr(1, 1));  // quiet while the stop flag is set
  EXPECT_EQ(b.owner.messages().size(), 2u);

  // The next operation connects again.
  b.sim->sim().setFaults({});
  mc.setStopFlag(false);
  EXPECT_TRUE(mc.setVr(1, 2));
  EXPECT_DOUBLE_EQ(b.sim->model().vr(1), 2);
}

// ---------------------------------------------------------------------------------------------
// Control layer and transfer type 5

TEST(ControlLink, CommandClientOverTheControl) {
  Bench b("127.0.0.92");
  links::CDMotionControl control;
  links::CMC_Command mc(&b.owner);
  mc.setAddress("127.0.0.92");
  mc.setPort(3240);
  mc.attachControl(&control);
  ASSERT_TRUE(mc.movePos(2, 100000, 1000000, 1.5, 2.5));
  double x = 0, y = 0;
  // The move ends in the simulator's own time.
  EXPECT_TRUE(test::waitUntil([&] { return mc.getMpos(0, &x) && mc.getMpos(1, &y) && x == 1.5 && y == 2.5; }));
  ASSERT_TRUE(mc.getMpos(0, &x));
  ASSERT_TRUE(mc.getMpos(1, &y));
  EXPECT_DOUBLE_EQ(x, 1.5);
  EXPECT_DOUBLE_EQ(y, 2.5);
  b.sim->model().setInput(4, 1);
  int in = 0;
  ASSERT_TRUE(mc.getInput(4, &in));
  EXPECT_EQ(in, 1);
  ASSERT_TRUE(mc.setVr(20, 4));
  double v = 0;
  ASSERT_TRUE(mc.getVr(20, &v));
  EXPECT_DOUBLE_EQ(v, 4);
  EXPECT_NE(b.sim->controlLines().find("base(0,1)\nSPEED=100000.000000\nACCEL=1000000.000000\n"), std::string::npos);
}

TEST(ControlLink, WaitsForTheProgramThenDownloadsAndStartsTheJob) {
  Bench b("127.0.0.93");
  b.sim->model().setVr(951, 1);  // a job still runs
  const std::string body = allBytes() + plotFile(300000);
  const std::string path = b.put("five.plt", body);
  links::CMCControl_Transfer link(b.owner, path, static_cast<std::int32_t>(body.size()));
  bool ok = false;
  std::thread t([&] { ok = link.send(); });
  // The link keeps polling while VR 951 reads 1.
  // Several polls, and still nothing downloaded.
  ASSERT_TRUE(b.sim->sim().waitFor([&] { return test::occurrences(b.sim->controlLines(), "?vr(951)") >= 3; }));
  EXPECT_TRUE(b.sim->sim().downloads().empty());
  b.sim->model().setBusyPolls(3);
  b.sim->model().setVr(951, 0);
  t.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(link.resultText(), "");
  auto d = b.sim->sim().downloads();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_TRUE(d[0].data == body);
  EXPECT_EQ(d[0].name, "five.plt");
  // The program runs the job and reports ready again.
  EXPECT_DOUBLE_EQ(b.sim->model().vr(951), 1);
  EXPECT_TRUE(b.sim->sim().waitFor([&] { return b.sim->model().jobsRun() == 1; }));
  EXPECT_DOUBLE_EQ(b.sim->model().vr(950), 0);
}

TEST(ControlLink, ConnectionFailureStopAndWrongCrc) {
  test::TempHome home;
  Owner owner(home.path());
  {
    config::CIniConfig cfg(home.path());
    cfg.writeText("Modbus", "Xitong_IP", "127.0.0.94");  // nothing listens there
  }
  links::CMCControl_Transfer none(owner, home.file("x.plt"), 1);
  EXPECT_FALSE(none.send());
  EXPECT_EQ(none.resultText(), "MC_Connect_Fail");
  ASSERT_EQ(owner.messages().size(), 1u);
  EXPECT_EQ(owner.messages()[0], "Information: Can not connect to machine !");

  Bench b("127.0.0.95");
  b.sim->model().setVr(950, 1);  // never ready
  const std::string path = b.put("stop.plt", "PU0,0;");
  links::CMCControl_Transfer waiting(b.owner, path, 6);
  std::thread stopper([&] {
    b.sim->sim().waitFor([&] { return b.owner.clock_.skipped_.load() > 5000; });
    b.owner.setStopRequest(true);
  });
  EXPECT_FALSE(waiting.send());
  stopper.join();
  EXPECT_EQ(waiting.resultText(), "停止发送");
  EXPECT_TRUE(b.sim->sim().downloads().empty());

  b.owner.setStopRequest(false);
  b.sim->model().setVr(950, 0);
  sim::CoordinatorFaults f;
  f.downloadWrongCrc = true;
  b.sim->sim().setFaults(f);
  links::CMCControl_Transfer wrong(b.owner, path, 6);
  EXPECT_FALSE(wrong.send());
  EXPECT_EQ(wrong.resultText(), "");
  EXPECT_DOUBLE_EQ(b.sim->model().vr(950), 0);  // the job is not started
}

// ---------------------------------------------------------------------------------------------
// Bytes on other channels

TEST(ControllerFileLink, RepliesOnOtherChannelsAreIgnored) {
  Bench b("127.0.0.97");
  b.set("Modbus", "Channel_Protocol_Enabled", "1");
  b.set("Modbus", "Channel_No", "5");
  sim::CoordinatorFaults f;
  f.noiseOnOtherChannels = true;  // a wrong CRC reply on 6, 7 and 0 before the right one on 5
  b.sim->sim().setFaults(f);
  auto link = b.link(b.put("noise.plt", "PU0,0;PD5,5;"), 12);
  ASSERT_TRUE(link.send()) << link.resultText();
  EXPECT_EQ(link.attempts(), 1);
}

// ---------------------------------------------------------------------------------------------
// USB and PCI kinds through the device interface

#include "controller/fake_device.h"

namespace {
// The fake device answers the download once its trailer has been written.
class ReplyingDevice : public test::FakeDevice {
 public:
  std::string reply;
  Io write(int h, const std::uint8_t* data, std::size_t len, std::size_t* done) override {
    const Io io = FakeDevice::write(h, data, len, done);
    std::lock_guard<std::mutex> g(m);
    if (len > 0 && data[len - 1] == 0x03) toRead += reply;
    return io;
  }
};
}  // namespace

TEST(ControllerFileLink, UsbAndPciKindsWriteTheDownloadToTheirDevice) {
  const std::string body = "PU0,0;\x02\x03\\PD1,1;";
  const unsigned crc = controller::crc16Fast(body.data(), body.size());
  char reply[32];
  std::snprintf(reply, sizeof reply, "\x02" "CRC=%x\x03", crc);
  for (const auto& [kind, device] : {std::pair<std::string, std::string>{"1", "/dev/qelmc-000-mpe"},
                                     std::pair<std::string, std::string>{"3", "/dev/qelmcpci-005-mpe"}}) {
    test::TempHome home;
    Owner owner(home.path());
    {
      config::CIniConfig cfg(home.path());
      cfg.writeText("Modbus", "Modbus_LinkType", kind);
    }
    auto dev = std::make_shared<ReplyingDevice>();
    dev->present.insert(device);
    dev->reply = reply;
    home.writeFile("dev.plt", body);
    CController_Transfer::Options o;
    o.deviceIo = dev;
    CController_Transfer link(owner, home.file("dev.plt"), static_cast<std::int32_t>(body.size()), o);
    EXPECT_TRUE(link.send()) << kind << ": " << link.resultText();
    std::lock_guard<std::mutex> g(dev->m);
    EXPECT_EQ(link.attempts(), 1);
    EXPECT_NE(dev->written.find("\x01SD:dev.plt\x02" "PU0,0;\\s\\e\\\\PD1,1;\x03"), std::string::npos) << kind;
  }
}

// ---------------------------------------------------------------------------------------------
// The command client's remaining messages

#include <sys/resource.h>
#include <sys/wait.h>

TEST(CommandClient, NoSocketLeftGivesCreateSocketFailed) {
  test::TempHome home;
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    Owner owner(home.path());
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_NOFILE, &none);  // no new descriptor: socket() fails
    links::CMC_Command mc(&owner);
    mc.setAddress("127.0.0.1");
    const bool ok = mc.setVr(1, 1);
    const auto m = owner.messages();
    ::_exit(!ok && m.size() == 1 && m[0] == "Information: create socket failed!" ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ControlLink, BaseFailureIsReportedThenPrompted) {
  Bench b("127.0.0.100");
  b.owner.answerOk_ = false;
  links::CDMotionControl control;
  control.setReplyTimeoutMs(200);
  links::CMC_Command mc(&b.owner);
  mc.setAddress("127.0.0.100");
  mc.setPort(3240);
  mc.attachControl(&control);
  ASSERT_TRUE(mc.setVr(3, 1));
  sim::CoordinatorFaults f;
  f.commandSilent = true;
  b.sim->sim().setFaults(f);
  EXPECT_FALSE(mc.movePos(1, 10, 10, 5, 0));
  const auto m = b.owner.messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0], "Information: movePos():Base Failed!");
  EXPECT_EQ(m[1], "Information: Network connection failure! Press 'OK' to stop, Press 'Cancel' to retry. [OK/Cancel]");
  EXPECT_FALSE(control.IsOpen(3240));  // closed by the failure handling
}

TEST(ControlLink, LineLostDuringTheWaitOrTheDownload) {
  Bench b("127.0.0.102");
  b.sim->model().setVr(951, 1);
  const std::string body = plotFile(200000);
  const std::string path = b.put("lost.plt", body);
  links::CMCControl_Transfer link(b.owner, path, 200000);
  bool ok = false;
  std::thread t([&] { ok = link.send(); });
  ASSERT_TRUE(b.sim->sim().waitFor([&] { return b.sim->controlLines().find("?vr(951)") != std::string::npos; }));
  b.sim->dropClients();  // the wait opens the connection again and goes on
  b.sim->model().setVr(951, 0);
  t.join();
  EXPECT_TRUE(ok);
  ASSERT_EQ(b.sim->sim().downloads().size(), 1u);
  EXPECT_TRUE(b.sim->sim().downloads()[0].data == body);

  b.sim->model().setVr(950, 0);
  b.sim->model().setVr(951, 0);
  sim::CoordinatorFaults f;
  f.dropAfterBytes = 10000;
  b.sim->sim().setFaults(f);
  links::CMCControl_Transfer dropped(b.owner, path, 200000);
  EXPECT_FALSE(dropped.send());
  EXPECT_EQ(dropped.resultText(), "");
  EXPECT_DOUBLE_EQ(b.sim->model().vr(950), 0);
}

#include <malloc.h>
#include <spawn.h>

#include <filesystem>
namespace fs = std::filesystem;

#include <fstream>

// A process without the memory for a second thread's stack: the reply worker cannot start, the
// sending worker is ended and the controller closed, with the text for it. The child runs in a
// fresh process (a forked one would reuse the parent's thread stacks).
TEST(ControllerFileLink, NoMemoryForTheReplyWorkerChild) {
  const char* path = std::getenv("QEL_NOMEM_FILE");
  const char* home = std::getenv("QEL_NOMEM_HOME");
  if (!path || !home) GTEST_SKIP() << "run by NoMemoryForTheReplyWorker";
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit and a sanitizer do not mix";
#endif
  Owner owner(home);
  ::mallopt(M_ARENA_MAX, 1);  // worker threads share the main heap
  std::vector<void*> warm;
  for (int i = 0; i < 64; ++i) warm.push_back(std::malloc(4096));
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t vm = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
  rlimit limit{vm + 12 * 1024 * 1024, vm + 12 * 1024 * 1024};  // one 8 MB stack fits, two do not
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &limit), 0);
  CController_Transfer::Options o;
  o.connectTimeoutMs = 500;
  CController_Transfer link(owner, path, 4000, o);
  EXPECT_FALSE(link.send());
  EXPECT_EQ(link.resultText(), "Error creating receive thread");
  EXPECT_EQ(link.attempts(), 6);
}

TEST(ControllerFileLink, NoMemoryForTheReplyWorker) {
  Bench b("127.0.0.103");
  const std::string path = b.put("mem.plt", plotFile(4000));
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string filter = "--gtest_filter=ControllerFileLink.NoMemoryForTheReplyWorkerChild";
  const std::string envFile = "QEL_NOMEM_FILE=" + path, envHome = "QEL_NOMEM_HOME=" + b.home.path();
  std::vector<char*> argv = {const_cast<char*>(self.c_str()), const_cast<char*>(filter.c_str()), nullptr};
  std::vector<char*> envp = {const_cast<char*>(envFile.c_str()), const_cast<char*>(envHome.c_str()), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(ControlLink, ChineseInterfaceTexts) {
  test::TempHome home;
  Owner owner(home.path());
  owner.lang_ = 0;
  {
    config::CIniConfig cfg(home.path());
    cfg.writeText("Modbus", "Xitong_IP", "127.0.0.104");  // nothing listens there
  }
  links::CMCControl_Transfer none(owner, home.file("x.plt"), 1);
  EXPECT_FALSE(none.send());
  links::CMC_Command mc(&owner);
  mc.setAddress("127.0.0.104");
  mc.setConnectTimeoutMs(300);
  EXPECT_FALSE(mc.getVr(1, nullptr));
  const auto m = owner.messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0], "Information: 无法连接到机器！");
  EXPECT_EQ(m[1], "Information: 网络连接失败! 点击'确定'停止, 重试请点击'取消'。 [OK/Cancel]");
  EXPECT_TRUE(mc.stopFlag());
}

TEST(CoordinatorModel, ProgramRunsOnlyAfterADownloadAndMovesEndExactly) {
  sim::CoordinatorModel m;
  m.setJobMs(50);
  EXPECT_TRUE(m.execute("vr(950)=1").ok);
  EXPECT_DOUBLE_EQ(m.vr(951), 0);  // no file: the program does not start
  m.setVr(950, 0);
  m.fileDownloaded();
  m.execute("VR(950)=1");
  EXPECT_DOUBLE_EQ(m.vr(951), 1);
  // The job lasts its 50 ms of real time; then both flags drop together.
  EXPECT_TRUE(test::waitUntil([&] { return m.vr(950) == 0; }));
  EXPECT_DOUBLE_EQ(m.vr(950), 0);
  EXPECT_DOUBLE_EQ(m.vr(951), 0);
  EXPECT_EQ(m.jobsRun(), 1);

  m.execute("base(1)");
  m.execute("speed=1000000");
  m.execute("accel=100000000");
  m.execute("decel=100000000");
  m.execute("moveabs(0.1)");
  EXPECT_TRUE(test::waitUntil([&] { return m.position(1) == 0.1; }));
  EXPECT_EQ(m.position(1), 0.1);
  EXPECT_EQ(m.execute("?mpos axis(1)").value, "0.1");
  EXPECT_FALSE(m.execute("moveabs(1,2)").ok);  // more positions than base axes
  EXPECT_FALSE(m.execute("base(5)").ok);
  EXPECT_FALSE(m.execute("speed=fast").ok);
  EXPECT_FALSE(m.execute("bogus").ok);
}
