// The coordinator links (types 3 and 5) and the command client against the coordinator simulator
// on loopback addresses 127.0.0.81 and up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "config/ini_config.h"
#include "controller/crc.h"
#include "coordinator_services.h"
#include "links/controller_transfer.h"
#include "links/dmotion_control.h"
#include "links/mc_command.h"
#include "links/mc_control_transfer.h"
#include "links/fake_owner.h"
#include "support/skip_clock.h"
#include "support/temp_home.h"
#include "support/wait.h"

using namespace qel;
using links::CController_Transfer;

namespace {

// The owner with a clock that skips the 3 s retry pauses and 100 ms steps while the simulator
// still gets real time to answer; it presses Pause once `stopAt_` bytes have gone, or once its
// clock has skipped `stopAfterMs_`.
struct Owner : test::FakeTransferOwner {
  explicit Owner(std::string home) : FakeTransferOwner(std::move(home), &clock_) {}
  void reportBytesSent(std::int64_t sent, std::int64_t) override {
    if (stopAt_ > 0 && sent >= stopAt_) stop_ = true;
  }
  bool stopRequested() const override { return stop_ || (stopAfterMs_ > 0 && clock_.skippedMs() >= stopAfterMs_); }
  test::SkipClock clock_;
  std::int64_t stopAt_ = 0, stopAfterMs_ = 0;
};

// A plot-like file: every byte value first, then plot commands with the bytes that need escaping
// sprinkled in.
std::string plotFile(std::size_t size) {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
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
    config::CIniConfig(home.path()).writeText(section, key, value);
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

}  // namespace

TEST(ControllerFileFormat, HeaderEscapeReplyAndDuration) {
  EXPECT_EQ(CController_Transfer::header("/any/folder/verylongname.hpgl"), "\x01SD:verylong.hpg\x02");
  EXPECT_EQ(CController_Transfer::header("/a.b/job"), "\x01SD:job\x02");
  EXPECT_EQ(CController_Transfer::escape(std::string("\x41\x02\x5C\x03", 4)), "A\\s\\\\\\e");
  for (const auto& [reply, flags, want] : std::vector<std::tuple<const char*, unsigned, std::uint32_t>>{
           {"crc=fee8", CController_Transfer::kFlagCrc, 0xFEE8}, {"CRC=  1a2bxyz", CController_Transfer::kFlagCrc, 0x1A2B},
           {"Abort", CController_Transfer::kFlagAbort, 0}, {"READY", 0, 0}}) {
    std::uint32_t crc = 0;
    EXPECT_EQ(CController_Transfer::parseReply(reply, &crc), flags) << reply;
    EXPECT_EQ(crc, want) << reply;
  }
  EXPECT_EQ(CController_Transfer::durationText(3725), "\nDuration=01:02:05");
}

// The download reaches the coordinator byte for byte over each wiring: Ethernet, a data channel
// (with wrong answers on the other channels first), and a serial line.
TEST(ControllerFileLink, DownloadsByteExactOverEachWiring) {
  struct Row {
    const char* name;
    const char* address;
    const char* linkType;
    int channel;  // 0: the plain protocol
    std::string body;
  };
  const Row rows[] = {
      {"ethernet", "127.0.0.81", "2", 0, plotFile(5 * 1024 * 1024)},
      {"channel", "127.0.0.82", "2", 5, plotFile(100000)},
      {"serial", "127.0.0.83", "0", 0, plotFile(5 * 1024 * 1024)},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    sim::CoordinatorServiceOptions o;
    o.pty = r.linkType[0] == '0';
    Bench b(r.address, o);
    b.set("Modbus", "Modbus_LinkType", r.linkType);
    if (r.channel) {
      b.set("Modbus", "Channel_Protocol_Enabled", "1");
      b.set("Modbus", "Channel_No", std::to_string(r.channel));
      b.sim->setFault("noise", 1);
    }
    b.owner.setStopRequest(true);  // a pause pressed before the send does not stop it
    CController_Transfer::Options lo;
    if (o.pty) lo.serialDevice = b.sim->ptyPath();
    auto link = b.link(b.put("all_bytes.bin", r.body), static_cast<std::int32_t>(r.body.size()), lo);
    ASSERT_TRUE(link.send()) << link.resultText();
    EXPECT_TRUE(link.resultText().starts_with("File transfer successful.\nDuration=")) << link.resultText();
    EXPECT_EQ(link.attempts(), 1);
    const auto d = b.sim->sim().downloads();
    ASSERT_EQ(d.size(), 1u);
    // A name that had to be cut is numbered; the body is compared without printing it.
    EXPECT_EQ(std::make_tuple(d[0].name, d[0].channel, d[0].data == r.body),
              std::make_tuple(std::string("all_by~1.bin"), r.channel, true));
    EXPECT_EQ(b.sim->sim().commandLines().find("MPE(1)") != std::string::npos, r.channel != 0);
    const auto p = b.owner.progress();
    EXPECT_EQ((std::vector<std::string>{p.front(), p.at(1), p.back()}), (std::vector<std::string>{"range 0..100", "pos 1", "pos 0"}));
  }
}

// How a send fails, by what the coordinator (or the machine around it) does: the text, and how
// many of the six attempts were made.
TEST(ControllerFileLink, FailuresEndWithTheirTextAfterTheirAttempts) {
  const std::string small = "PU0,0;PD100,100;";
  char wrongCrc[128];
  const unsigned crc = controller::crc16Fast(small.data(), small.size());
  std::snprintf(wrongCrc, sizeof wrongCrc, "File transfer failed. CRC wrong (Calculated=$%x, Received=$%x)\nDuration=", crc,
                crc ^ 0x1111);
  struct Row {
    const char* name;
    const char* address;
    const char* fault;
    long long value;
    std::string body;
    std::string text;
    int attempts;  // 0: not checked
    std::size_t downloads;
    std::int64_t stopAt = 0;       // Pause or Cancel pressed after this many bytes
    std::int64_t stopAfterMs = 0;  // the time-out switched off and Pause pressed after this long
    bool noReplyWorker = false;    // the sending worker is ended before the controller goes
  };
  const Row rows[] = {
      {"wrong CRC every time", "127.0.0.84", "wrong-crc", 1, small, wrongCrc, 6, 6},
      {"ABORT mid-file", "127.0.0.85", "abort-at", 1000, plotFile(5 * 1024 * 1024), "File transfer cancelled by controller.\nDuration=", 6, 0},
      {"no CRC answer", "127.0.0.90", "download-silent", 1, small, "Timeout waiting for CRC.\nDuration=", 6, 6},
      {"line dropped mid-file", "127.0.0.97", "close-after", 5000, plotFile(200000), "Error in file transfer.", 0, 0},
      {"file missing", "127.0.0.101", nullptr, 0, "", "Error in file transfer.\nDuration=", 0, 0},
      // The coordinator never gets the end of the file, so it keeps nothing it could run.
      {"stopped part-way", "127.0.0.211", "", 0, plotFile(4 * 1024 * 1024), "File transfer cancelled by user.", 1, 0,
       1024 * 1024},
      // Far beyond any time-out, and the send still waits.
      {"no CRC answer, no time-out", "127.0.0.86", "download-silent", 1, small, "File transfer cancelled by user.", 1, 1, 0,
       600 * 1000},
      {"no reply worker", "127.0.0.88", "", 0, small, "Error creating receive thread", 6, 0, 0, 0, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Bench b(r.address);
    ASSERT_TRUE(!r.fault || !*r.fault || b.sim->setFault(r.fault, r.value));
    b.owner.stopAt_ = r.stopAt;
    b.owner.stopAfterMs_ = r.stopAfterMs;
    if (r.stopAfterMs) b.set("Modbus", "TimeOut_Enabled", "0");
    if (r.fault && std::string(r.fault) == "download-silent") b.set("Modbus", "Time_Value", "2");
    const std::string path = r.fault ? b.put("job.plt", r.body) : b.home.file("missing.plt");
    CController_Transfer::Options o;
    int started = 0;
    if (r.noReplyWorker) o.startThread = [&](std::thread& t, std::function<void()> body) {
      if (++started % 2 == 0) return false;
      t = std::thread(std::move(body));
      return true;
    };
    auto link = b.link(path, std::max<std::int32_t>(10, static_cast<std::int32_t>(r.body.size())), o);
    EXPECT_FALSE(link.send());
    EXPECT_TRUE(link.resultText().starts_with(r.text)) << link.resultText();
    EXPECT_EQ(r.attempts ? link.attempts() : 0, r.attempts);
    // What the coordinator keeps: files that came whole, never the part before a failure. Without
    // its reply worker the link may have sent a whole file before it gave up: either count is right.
    if (!r.noReplyWorker) EXPECT_EQ(b.sim->sim().downloads().size(), r.downloads);
    EXPECT_GE(b.owner.clock_.skippedMs(), (link.attempts() - 1) * 3000);  // the pauses between attempts
  }
}

// ---------------------------------------------------------------------------------------------
// Command client

// The same commands over the command line and over our control layer: the bytes each carries,
// the answers, and a move that ends where it was sent (x first, then y).
TEST(CommandClient, CommandLinesByteForByteAndAnswers) {
  struct Row {
    const char* name;
    const char* address;
    bool overControl;
    std::vector<std::string> lines;
  } rows[] = {
      {"command line", "127.0.0.89", false,
       {"base(0,1)\rspeed=100\raccel=2000\rdecel=2000\rmoveabs(10.500000,20.000000)\r?mpos axis(0)\r",
        "vr(12)=3.250000\r?vr(12)\rop(8,1)\r?in(3)\r"}},
      {"control", "127.0.0.92", true, {"base(0,1)\nSPEED=100.000000\nACCEL=2000.000000\n"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Bench b(r.address);
    links::CDMotionControl control;
    links::CMC_Command mc(&b.owner);
    mc.setAddress(r.address);
    if (r.overControl) {
      mc.setPort(3240);
      mc.attachControl(&control);
    }
    ASSERT_TRUE(mc.movePos(2, 100, 2000, 10.5, 20));
    double x = -1, y = -1;
    // The move ends in the simulator's own time; axis 2 asks for axis 0.
    EXPECT_TRUE(test::waitUntil([&] { return mc.getMpos(2, &x) && mc.getMpos(1, &y) && x == 10.5 && y == 20; }))
        << x << ", " << y;
    // A VR written and read back, an output switched, an input read.
    double v = 0;
    int in = 0;
    b.sim->model().setInput(3, 1);
    ASSERT_TRUE(mc.setVr(12, 3.25) && mc.getVr(12, &v) && mc.setOutput(8, 1) && mc.getInput(3, &in));
    EXPECT_EQ(std::make_tuple(v, b.sim->model().output(8), in), std::make_tuple(3.25, 1, 1));
    const std::string lines = r.overControl ? b.sim->controlLines() : b.sim->commandLineBytes();
    for (const std::string& l : r.lines) EXPECT_NE(lines.find(l), std::string::npos) << l;
    EXPECT_TRUE(b.owner.messages().empty());
  }
}

// One client shared by two threads, as the CCD cut window shares it between the jog buttons and
// a running job: each thread writes its own VR and reads it back at once, the jog thread also
// switches an output. A reply read by the wrong thread shows as a wrong value.
TEST(CommandClient, TwoThreadsHammeringOneClientEachGetTheirOwnAnswers) {
  Bench b("127.0.0.191");
  links::CMC_Command client;
  client.setAddress("127.0.0.191");
  constexpr int kRounds = 300;
  std::atomic<int> wrong{0}, failed{0};
  auto worker = [&](int vr, int output, double base) {
    for (int i = 0; i < kRounds; ++i) {
      const double want = base + i;
      double got = -1;
      if (!client.setVr(vr, want) || !client.getVr(vr, &got)) ++failed;
      else if (got != want) ++wrong;
      if (output > 0 && !client.setOutput(output, i % 2)) ++failed;
    }
  };
  std::thread jog(worker, 101, 40, 5000.0);
  std::thread job(worker, 100, 0, 1000.0);
  jog.join();
  job.join();
  EXPECT_EQ(std::make_pair(failed.load(), wrong.load()), std::make_pair(0, 0));
  EXPECT_EQ(std::make_tuple(b.sim->model().vr(100), b.sim->model().vr(101), b.sim->model().output(40)),
            std::make_tuple(1000.0 + kRounds - 1, 5000.0 + kRounds - 1, (kRounds - 1) % 2));
  EXPECT_TRUE(client.connected());
}

TEST(CommandClient, AnswerParsing) {
  for (const auto& [text, want] : std::vector<std::pair<const char*, double>>{
           {"123.5\r\n>>", 123.5}, {"42>>", 42}, {"-7<", -7}, {"", 0}, {"\r\n>>", 0}})
    EXPECT_DOUBLE_EQ(links::CMC_Command::parseAnswer(text), want) << text;
}

TEST(CommandClient, FailuresPromptUnlessStopped) {
  Bench b("127.0.0.91");
  links::CMC_Command bad(&b.owner);
  bad.setAddress("");
  EXPECT_FALSE(bad.movePos(0, 1, 1, 1, 0));
  EXPECT_EQ(b.owner.messages(), std::vector<std::string>{"Information: invalid host ip!"});
  b.owner.clearMessages();

  b.sim->setFault("command-silent", 1);
  links::CMC_Command mc(&b.owner);
  mc.setAddress("127.0.0.91");
  mc.setReplyTimeoutMs(200);
  b.owner.answerOk_ = false;  // Cancel: retry later
  EXPECT_FALSE(mc.setVr(1, 1));
  EXPECT_FALSE(mc.stopFlag());
  EXPECT_FALSE(mc.connected());
  const std::string prompt =
      "Information: Network connection failure! Press 'OK' to stop, Press 'Cancel' to retry. [OK/Cancel]";
  EXPECT_EQ(b.owner.messages(), std::vector<std::string>{prompt});
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

  // Over the control layer a failed base command is said before the prompt, and the port closed.
  links::CDMotionControl control;
  control.setReplyTimeoutMs(200);
  links::CMC_Command viaControl(&b.owner);
  viaControl.setAddress("127.0.0.91");
  viaControl.setPort(3240);
  viaControl.attachControl(&control);
  ASSERT_TRUE(viaControl.setVr(3, 1));
  b.sim->setFault("command-silent", 1);
  b.owner.answerOk_ = false;
  b.owner.clearMessages();
  EXPECT_FALSE(viaControl.movePos(1, 10, 10, 5, 0));
  EXPECT_EQ(b.owner.messages(), (std::vector<std::string>{"Information: movePos():Base Failed!", prompt}));
  EXPECT_FALSE(control.IsOpen(3240));
}

// ---------------------------------------------------------------------------------------------
// Control layer and transfer type 5

TEST(ControlLink, WaitsForTheProgramThenDownloadsAndStartsTheJobOrFailsQuietly) {
  Bench b("127.0.0.93");
  b.sim->model().setVr(951, 1);  // a job still runs
  const std::string body = plotFile(300000);
  const std::string path = b.put("five.plt", body);
  links::CMCControl_Transfer link(b.owner, path, static_cast<std::int32_t>(body.size()));
  bool ok = false;
  std::thread t([&] { ok = link.send(); });
  // The link keeps polling while VR 951 reads 1: several polls, and still nothing downloaded.
  ASSERT_TRUE(b.sim->sim().waitFor([&] { return test::occurrences(b.sim->controlLines(), "?vr(951)") >= 3; }));
  EXPECT_TRUE(b.sim->sim().downloads().empty());
  b.sim->dropClients();  // a line lost during the wait: the link connects again and goes on
  b.sim->model().setBusyPolls(3);
  b.sim->model().setVr(951, 0);
  t.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(link.resultText(), "");
  auto d = b.sim->sim().downloads();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(std::make_pair(d[0].name, d[0].data == body), std::make_pair(std::string("five.plt"), true));
  // The program runs the job and reports ready again.
  EXPECT_DOUBLE_EQ(b.sim->model().vr(951), 1);
  EXPECT_TRUE(b.sim->sim().waitFor([&] { return b.sim->model().jobsRun() == 1; }));
  EXPECT_DOUBLE_EQ(b.sim->model().vr(950), 0);

  // A download that fails (wrong CRC, line dropped) says nothing and starts no job.
  for (const auto& [fault, value] : {std::pair<const char*, long long>{"wrong-crc", 1}, {"close-after", 10000}}) {
    b.sim->model().setVr(950, 0);
    b.sim->model().setVr(951, 0);
    b.sim->setFault(fault, value);
    links::CMCControl_Transfer failed(b.owner, path, static_cast<std::int32_t>(body.size()));
    EXPECT_FALSE(failed.send()) << fault;
    EXPECT_EQ(failed.resultText(), "");
    EXPECT_DOUBLE_EQ(b.sim->model().vr(950), 0);
    b.sim->setFault(fault, value > 1 ? -1 : 0);
  }
}

TEST(ControlLink, ConnectionFailureInBothLanguagesAndStop) {
  const struct {
    int lang;
    std::vector<std::string> said;
  } langs[] = {
      {1, {"Information: Can not connect to machine !",
           "Information: Network connection failure! Press 'OK' to stop, Press 'Cancel' to retry. [OK/Cancel]"}},
      {0, {"Information: 无法连接到机器！", "Information: 网络连接失败! 点击'确定'停止, 重试请点击'取消'。 [OK/Cancel]"}},
  };
  for (const auto& l : langs) {
    test::TempHome home;
    Owner owner(home.path());
    owner.lang_ = l.lang;
    config::CIniConfig(home.path()).writeText("Modbus", "Xitong_IP", "127.0.0.94");  // nothing listens there
    links::CMCControl_Transfer none(owner, home.file("x.plt"), 1);
    EXPECT_FALSE(none.send());
    EXPECT_EQ(none.resultText(), "MC_Connect_Fail");
    links::CMC_Command mc(&owner);
    mc.setAddress("127.0.0.94");
    mc.setConnectTimeoutMs(300);
    EXPECT_FALSE(mc.getVr(1, nullptr));
    EXPECT_EQ(owner.messages(), l.said);
    EXPECT_TRUE(mc.stopFlag());
    CController_Transfer::Options o;  // the file link (type 3) tries once
    o.connectTimeoutMs = 300;
    CController_Transfer three(owner, home.file("x.plt"), 1, o);
    EXPECT_FALSE(three.send());
    EXPECT_EQ(three.resultText(), "MC_Connect_Fail");
    EXPECT_EQ(three.attempts(), 1);
  }

  Bench b("127.0.0.95");
  b.sim->model().setVr(950, 1);  // never ready
  const std::string path = b.put("stop.plt", "PU0,0;");
  links::CMCControl_Transfer waiting(b.owner, path, 6);
  b.owner.stopAfterMs_ = 5000;
  EXPECT_FALSE(waiting.send());
  EXPECT_EQ(waiting.resultText(), "停止发送");
  EXPECT_TRUE(b.sim->sim().downloads().empty());
}

TEST(CoordinatorModel, ProgramNeedsADownloadAndBadCommandsAreRefused) {
  sim::CoordinatorModel m;
  EXPECT_TRUE(m.execute("vr(950)=1").ok);
  EXPECT_DOUBLE_EQ(m.vr(951), 0);  // no file: the program does not start
  m.execute("base(1)");
  // More positions than base axes, an axis the machine lacks, a word for a number, no command.
  for (const char* bad : {"moveabs(1,2)", "base(5)", "speed=fast", "bogus"}) EXPECT_FALSE(m.execute(bad).ok) << bad;
}
