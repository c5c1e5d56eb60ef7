// The library against the coordinator simulator over loopback TCP and a pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "controller/coff.h"
#include "controller/controller.h"
#include "controller/loaders.h"
#include "controller/port.h"
#include "controller/qel_controller.h"
#include "coordinator_sim.h"
#include "support/skip_clock.h"
#include "support/temp_home.h"
#include "fake_device.h"

using namespace qel::controller;
using qel::sim::CoordinatorFaults;
using qel::sim::CoordinatorSim;
using qel::test::readUntil;

namespace {

struct Fixture {
  CoordinatorSim sim;
  qel::test::SkipClock clock;
  CController c{&clock};
  std::vector<std::string> messages;
  std::mutex m;
  // What the host was told (message, wparam), and the project key it answers with ("": refuses).
  std::vector<std::pair<unsigned, std::uintptr_t>> notes;
  std::string key = "KEY42";
  explicit Fixture(const char* address, int mask = 1) {
    EXPECT_TRUE(sim.listenTcp(address, 0, 3240));
    c.setMessageSink([this](const std::string& t) {
      std::lock_guard<std::mutex> g(m);
      messages.push_back(t);
    });
    c.setHostCallback(&Fixture::host, this);
    EXPECT_EQ(c.openTcp(address, sim.mpePort(), mask), 1);
  }
  static std::intptr_t host(void* u, void*, unsigned msg, std::uintptr_t w, std::intptr_t l) {
    auto* f = static_cast<Fixture*>(u);
    std::lock_guard<std::mutex> g(f->m);
    f->notes.push_back({msg, w});
    if (msg != 0x503) return 1;
    std::strcpy(reinterpret_cast<char*>(l), f->key.c_str());
    return f->key.empty() ? 0 : 1;
  }
  std::size_t noted() {
    std::lock_guard<std::mutex> g(m);
    return notes.size();
  }
  bool said(const std::string& t) {
    std::lock_guard<std::mutex> g(m);
    return std::find(messages.begin(), messages.end(), t) != messages.end();
  }
};

// Presses "cancel" once the load is stuck where the fault leaves it: the coordinator has received
// one more `line` than it had when this was called, and the loader has since waited `waitedMs`
// on its clock (its waits skip ahead, so this is quick in real time).
std::thread cancelOnceStuck(Fixture& f, const std::string& line, std::int64_t waitedMs) {
  const std::size_t seen = qel::test::occurrences(f.sim.commandLines(), line);
  return std::thread([&f, line, seen, waitedMs] {
    qel::test::waitUntil([&] { return qel::test::occurrences(f.sim.commandLines(), line) > seen; });
    const std::int64_t from = f.clock.skippedMs();
    qel::test::waitUntil([&] { return f.clock.skippedMs() - from >= waitedMs; });
    f.c.setCancel(1);
  });
}

}  // namespace

// A download on a data channel is the coordinator file link's test; here the REMOTE port beside
// the multiplexed MPE port, and leaving the multiplexed mode on close.
TEST(WithSimulator, RemoteBesideAMultiplexedChannel) {
  Fixture f("127.0.0.2");
  f.c.setChannelMode(1, false);
  ASSERT_TRUE(f.sim.waitFor([&] { return f.sim.anyMpe(); }));
  // REMOTE is left alone by the multiplexer
  ASSERT_EQ(f.c.openAdditional(2), 1);
  f.c.write(98, "remote\x1b" "5");
  EXPECT_EQ(readUntil(f.c, 98, '5'), "remote\x1b" "5");
  f.c.close(-1);
  EXPECT_TRUE(f.sim.waitFor([&] { return !f.sim.anyMpe(); }));
}

TEST(WithSimulator, ReconnectsWhenTheCoordinatorDropsTheLine) {
  Fixture f("127.0.0.3");
  CoordinatorFaults faults;
  faults.dropAfterBytes = 10;
  f.sim.setFaults(faults);
  f.c.write(0, "\x01SD:a.plt\x02" + std::string(100, 'q') + "\x03");
  // the hang-up shows on the next reads; the port reconnects to the same address
  qel::test::waitUntil([&] {
    std::uint8_t b[16];
    std::size_t len = sizeof b;
    return f.c.read(0, b, &len), f.noted() >= 2;
  }, 4000, 1);
  EXPECT_EQ(f.notes, (std::vector<std::pair<unsigned, std::uintptr_t>>{{0x504u, 1u}, {0x504u, 0u}}));
  EXPECT_EQ(f.c.status(), 0xFF00);
  f.sim.setFaults({});
  f.c.write(0, "\x01SD:b.plt\x02ok\x03");
  EXPECT_EQ(readUntil(f.c, 0, '\x03').substr(0, 5), "\x02" "CRC=");
}

TEST(WithSimulator, ProgramLoadInPlainModeSendsCarriageReturnsOnly) {
  qel::test::TempHome home;
  Fixture f("127.0.0.4");
  home.writeFile("MAIN.bas", "PRINT 1\r\nPRINT 2\r\n");
  std::uint32_t state = 0;
  ASSERT_EQ(programLoad(f.c, home.file("MAIN.bas"), nullptr, &state), 1);
  EXPECT_EQ(state, kLoadDone);
  ASSERT_EQ(f.sim.programs().size(), 1u);
  const auto p = f.sim.programs()[0];
  EXPECT_EQ(std::tie(p.entry, p.data, p.project),
            std::make_tuple(std::string("MAIN\x1C" "0"), std::string("PRINT 1\rPRINT 2\r"), false));
  ASSERT_FALSE(f.notes.empty());
  EXPECT_EQ(f.notes.back(), (std::pair<unsigned, std::uintptr_t>{0x502u, 100u}));
  EXPECT_EQ(programLoad(f.c, home.path() + "/x.doc", nullptr), 0);
  EXPECT_TRUE(f.said("Invalid file type"));
}

TEST(WithSimulator, ProgramLoadOverASerialLineInMultiplexedMode) {
  qel::test::TempHome home;
  CoordinatorSim sim;
  const std::string tty = sim.openPty();
  ASSERT_FALSE(tty.empty());
  qel::test::SkipClock clock;
  CController c(&clock);
  ASSERT_EQ(c.openSerial(tty, 2, 1), 1);
  EXPECT_EQ(c.portType(), 1);
  EXPECT_EQ(c.largestBlock(), 16);
  EXPECT_EQ(c.openAdditional(2), 0);  // REMOTE shares the device with MPE
  EXPECT_FALSE(c.port()->reconnect());
  c.setChannelMode(1, false);
  ASSERT_TRUE(sim.waitFor([&] { return sim.anyMpe(); }));
  std::string text;
  for (int i = 0; i < 40; ++i) text += "G1 X" + std::to_string(i) + " Y" + std::to_string(i * 2) + "\n";
  home.writeFile("cut.gco", text);
  ASSERT_EQ(programLoad(c, home.file("cut.gco"), nullptr), 1);
  ASSERT_EQ(sim.programs().size(), 1u);
  EXPECT_EQ(sim.programs()[0].entry, "cut\x1C" "2");
  std::erase(text, '\n');
  EXPECT_EQ(sim.programs()[0].data, text);
  // the load command travelled on channel 8 as a line
  EXPECT_NE(sim.channelBytes(8).find("LOAD_PROJECT(1)\n\x14"), std::string::npos);
  c.setChannelMode(0, false);
  c.close(-1);
  EXPECT_EQ(c.port(), nullptr);
  EXPECT_EQ(serialDevicePath("COM3"), "/dev/ttyS2");
  EXPECT_EQ(std::vector<int>({serialSettingsIndex(3, 1), serialSettingsIndex(3, 2), serialSettingsIndex(4, 1)}),
            std::vector<int>({2, 1, -1}));
}

TEST(WithSimulator, ProjectLoadWithKeyAndRefusals) {
  qel::test::TempHome home;
  Fixture f("127.0.0.5");
  const std::string dir = home.path() + "/";
  for (const auto& [name, text] : {std::pair{"A.bas", "A=1\r\n"}, {"B.enc", "secret stuff\r\n"}, {"C.bas", "never\r\n"},
                                   {"proj.prj", "[Programs]\nProgram00=A\nProgram02=B\nProgram14=C\n[ProgramType]\nA=0\nb=1\n"}})
    home.writeFile(name, text);
  std::uint32_t state = 0;
  ASSERT_EQ(projectLoad(f.c, dir + "proj.prj", nullptr, &state), 1);
  const auto programs = f.sim.programs();
  ASSERT_EQ(programs.size(), 2u);
  EXPECT_EQ(std::tie(programs[0].entry, programs[0].project, programs[1].entry, programs[1].data),
            std::make_tuple(std::string("A\x1C" "0"), true, std::string("B\x1C" "1"), std::string("secret stuff\r")));
  EXPECT_NE(f.sim.commandLines().find("PROJECT_KEY\nKEY42\n"), std::string::npos);

  f.key.clear();
  EXPECT_EQ(projectLoad(f.c, dir + "proj.prj", nullptr, &state), 0);
  EXPECT_EQ(state, kLoadUserAbort);
  f.key = "KEY42";

  // Refusals, and echoes that never come: those loads wait until cancelled once they are stuck
  // (`waitedMs` past the command line `stuckOn`).
  home.writeFile("missing.prj", "[Programs]\nProgram00=NOPE\n");
  home.writeFile("P.txt", "x\r\n");
  const struct {
    const char* file;
    void (*fault)(CoordinatorFaults&);
    const char* stuckOn;
    int waitedMs;
    std::uint32_t state;
    std::string said;
  } rows[] = {
      {"proj.prj", [](CoordinatorFaults& c) { c.wrongKeyEcho = true; }, "KEY42", 2000, kLoadCommandError, "Error setting project key"},
      {"proj.prj", [](CoordinatorFaults& c) { c.refuseHeader = true; }, nullptr, 0, kLoadCoordinatorAbort, "Operation aborted by motion coordinator"},
      {"missing.prj", [](CoordinatorFaults&) {}, nullptr, 0, kLoadFileError, "Error accessing file " + dir + "NOPE.bas"},
      {"P.txt", [](CoordinatorFaults& c) { c.wrongLoadEcho = true; }, "LOAD_PROJECT", 2000, kLoadCommandError, "Error executing command LOAD_PROJECT"},
      // Long enough past the command that its echo has been read and the load waits for "ready".
      {"P.txt", [](CoordinatorFaults& c) { c.neverReady = true; }, "LOAD_PROJECT", 5000, kLoadUserAbort, ""}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.said);
    CoordinatorFaults faults;
    row.fault(faults);
    f.sim.setFaults(faults);
    std::thread canceller = row.stuckOn ? cancelOnceStuck(f, row.stuckOn, row.waitedMs) : std::thread();
    const std::string file = dir + row.file;
    EXPECT_EQ(file.ends_with(".prj") ? projectLoad(f.c, file, nullptr, &state) : programLoad(f.c, file, nullptr, &state), 0);
    if (canceller.joinable()) canceller.join();
    f.c.setCancel(0);
    EXPECT_EQ(state, row.state);
    if (!row.said.empty()) EXPECT_TRUE(f.said(row.said));
  }
}

// ---------------------------------------------------------------------------------------------
// System software

namespace {
// Little-endian fields of the file image.
void put(std::string& s, std::size_t o, std::uint32_t v, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) s[o + i] = static_cast<char>(v >> (8 * i));
}
struct Sec {
  const char* name;
  std::uint32_t address;
  std::string data;
  std::uint32_t flags;
};
std::string makeCoff(std::uint16_t magic, const std::vector<Sec>& secs) {
  const std::size_t opt = 28;
  std::string f(20 + opt + secs.size() * 40, '\0');
  put(f, 0, magic, 2);
  put(f, 2, static_cast<std::uint16_t>(secs.size()), 2);
  put(f, 16, opt, 2);
  put(f, 20, magic == 0x0093 ? 0x0108 : 0x010B, 2);
  for (std::size_t i = 0; i < secs.size(); ++i) {
    const std::size_t h = 20 + opt + i * 40;
    std::memcpy(&f[h], secs[i].name, std::min<std::size_t>(8, std::strlen(secs[i].name)));
    put(f, h + 8, secs[i].address, 4);
    put(f, h + 16, static_cast<std::uint32_t>(secs[i].data.size()), 4);
    put(f, h + 20, static_cast<std::uint32_t>(f.size()), 4);
    put(f, h + 36, secs[i].flags, 4);
    f += secs[i].data;
  }
  return f;
}
std::string words(std::initializer_list<std::uint32_t> ws) {
  std::string s;
  for (auto w : ws)
    for (int i = 0; i < 4; ++i) s += static_cast<char>(w >> (8 * i));
  return s;
}
}  // namespace

TEST(WithSimulator, SystemSoftwareLoadSendsEverySectionWithEcho) {
  qel::test::TempHome home;
  Fixture f("127.0.0.8");
  std::vector<std::uint32_t> big;
  std::string bigData;
  std::uint32_t sum = 3 + 0x11131517;
  for (std::uint32_t i = 0; i < 100; ++i) {
    big.push_back(0x01020304u * (i + 1));
    bigData += words({big.back()});
    sum += big.back();
  }
  const std::string path = home.file("sys.out");
  home.writeFile("sys.out", makeCoff(0x0093, {{".text", 0x100, words({1, 2, 3, 0x11131517}), 0x20},
                                    {".bss", 0x200, words({9}), 0x80},
                                    {".cinit", 0x300, "", 0x40},
                                    {".data", 0x400, bigData, 0x40}}));
  f.c.setChannelMode(1, false);
  std::string log;
  ASSERT_EQ(systemSoftwareLoad(f.c, path, nullptr, &log), 1);
  EXPECT_EQ(f.c.channelMode(), 0);
  ASSERT_EQ(f.sim.systemLoadsFinished(), 1) << log;
  const auto secs = f.sim.sections();
  ASSERT_EQ(secs.size(), 2u);
  EXPECT_EQ(secs[0].address, 0x100u);
  EXPECT_EQ(secs[0].words, (std::vector<std::uint32_t>{1, 2, 3, 0x11131517}));
  EXPECT_EQ(secs[1].words, big);
  char done[64];
  std::snprintf(done, sizeof done, ";checksum = 0x%08x]\r\n", sum);
  EXPECT_NE(log.find(done), std::string::npos) << log;
  EXPECT_NE(log.find("COFF file " + path + " opened\r\n"), std::string::npos);
  EXPECT_NE(log.find("\r\nWait ......\r\n"), std::string::npos);
  EXPECT_NE(log.find("load section .data [0x400:0x190] ...|...|...|....|\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find(".bss"), std::string::npos);
}

TEST(WithSimulator, SystemSoftwareLoadFailures) {
  qel::test::TempHome home;
  Fixture f("127.0.0.9");
  const std::string path = home.file("sys.out");
  home.writeFile("sys.out", makeCoff(0x0166, {{".text", 0x10, words({5, 6, 7, 8}), 0x20}}));
  struct Row {
    void (*fault)(CoordinatorFaults&);
    const char* log;
  };
  const Row rows[] = {{[](CoordinatorFaults& c) { c.wrongLoadSystemPrompt = true; }, "Error sending LOAD_SYSTEM command\r\n"},
                      {[](CoordinatorFaults& c) { c.wrongConfirm = true; }, "Error confirming LOAD_SYSTEM command\r\n"},
                      {[](CoordinatorFaults& c) { c.badEchoAt = 9; }, "Error sending data address 9\r\n"}};
  for (const Row& row : rows) {
    CoordinatorFaults faults;
    row.fault(faults);
    f.sim.setFaults(faults);
    std::string log;
    EXPECT_EQ(systemSoftwareLoad(f.c, path, nullptr, &log), 1) << log;
    EXPECT_EQ(f.c.channelMode(), 0);
    EXPECT_NE(log.find(row.log), std::string::npos) << log;
  }
  EXPECT_TRUE(f.sim.waitFor([&] { return f.sim.commandLines().find("N\n") != std::string::npos; }));
  EXPECT_EQ(f.sim.systemLoadsFinished(), 0);
  std::string log;
  const std::string bad = home.file("bad.out");
  home.writeFile("bad.out", makeCoff(0x0150, {}));
  ASSERT_EQ(systemSoftwareLoad(f.c, bad, nullptr, &log), 1);
  EXPECT_EQ(log, "Error loading COFF file " + bad + "\r\n");
}

TEST(Coff, ChecksEveryHeaderAndOffsetAgainstTheFile) {
  qel::test::TempHome home;
  const std::string p = home.path() + "/f.out";
  // Sections past the end and truncated headers are the fuzz corpus's; here the messages.
  std::string wrongOptional = makeCoff(0x0093, {{".text", 0, words({1, 2}), 0x20}});
  put(wrongOptional, 20, 0x010B, 2);
  const std::pair<std::string, std::string> rows[] = {
      {makeCoff(0x0150, {}), "FILE HEADER magic number error [FILE 0150]\n\r"},
      {makeCoff(0x0093, std::vector<Sec>(51, Sec{"s", 0, "", 0x20})), "Too many sections [FILE 51, LIMIT 50]\n\r"},
      {wrongOptional, "OPTIONAL FILE HEADER magic number error [FILE 010b]\n\r"}};
  CoffImage img;
  std::string err, out;
  for (const auto& [file, error] : rows) {
    home.writeFile("f.out", file);
    err.clear();
    EXPECT_FALSE(readCoff(p, &img, &err, &out));
    EXPECT_EQ(err.rfind(error, 0), 0u) << err;
  }
  err.clear();
  EXPECT_FALSE(readCoff(p + ".none", &img, &err, &out));
  EXPECT_EQ(err.rfind("Error stating " + p + ".none [", 0), 0u);

  home.writeFile("f.out", makeCoff(0x0093, {{".text", 0x20, words({1, 2}), 0x20}}));
  out.clear();
  ASSERT_TRUE(readCoff(p, &img, &err, &out));
  EXPECT_EQ(img.wordSize, 4);
  EXPECT_NE(out.find("    .text    => address = 0x00000020, length = 0x00000008, file = 0x00000058\n\r"),
            std::string::npos)
      << out;
}

// The exported functions' answers without a handle or a port, and to bad buffers.
TEST(Exports, NullHandleNoPortAndBadBuffers) {
  EXPECT_EQ(ControllerGetStatus(nullptr) + ControllerIsEscapeRemoteChannel(nullptr), 0);
  EXPECT_EQ(ControllerFloatToTms(nullptr, 1.0f), 0u);
  ControllerClose(nullptr, -1);
  ControllerHandle h = ControllerClassNew();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(ControllerIsEscapeRemoteChannel(h), 1);
  double v;
  char buf[4];
  int len = 4;
  for (int answer : {ControllerGetPortType(h), ControllerCanDownload(h), ControllerGetStatus(h), ControllerIsOpen(h, -1),
                     ControllerGetVr(h, 1, &v), ControllerProgramSave(h, "x", nullptr),
                     ControllerProjectCheck(h, nullptr, nullptr), ControllerRead(h, 0, buf, &len),
                     ControllerWrite(h, 0, "ab", 2), static_cast<int>(ControllerFloatToTms(h, 1.0f))})
    EXPECT_EQ(answer, 0);
  EXPECT_EQ(ControllerTmsToFloat(h, 0u), 1.0f);
  ControllerSetCancel(h, 1);
  EXPECT_EQ(ControllerGetCancel(h), 1);

  CoordinatorSim sim;
  ASSERT_TRUE(sim.listenTcp("127.0.0.10", 0, -1));
  ASSERT_EQ(ControllerOpenTCP(h, "127.0.0.10", sim.mpePort(), 1), 1);
  EXPECT_EQ(ControllerCanDownload(h), 1);
  ControllerSetChannelMode(h, 0, 1);
  EXPECT_EQ(ControllerGetChannelMode(h), 0);
  QelControllerSetHostCallback(h, nullptr, nullptr);
  EXPECT_EQ(ControllerProgramLoad(h, "x.doc", nullptr), 0);  // not a program file
  EXPECT_EQ(ControllerWrite(h, 0, "ab", 2), 0);  // cancelled
  ControllerSetCancel(h, 0);
  int negative = -5;
  for (int answer : {ControllerWrite(h, 0, nullptr, 2), ControllerWrite(h, 0, "ab", -1),
                     ControllerRead(h, 0, buf, &negative), ControllerRead(h, 0, nullptr, &len),
                     ControllerRead(h, 0, buf, nullptr), ControllerOpenAdditional(h, 2) /* nothing on 3240 */})
    EXPECT_EQ(answer, 0);
  len = 4;
  EXPECT_EQ(ControllerRead(h, 0, buf, &len), 1);
  EXPECT_EQ(len, 0);
  ControllerClose(h, -1);
  EXPECT_EQ(ControllerGetPortType(h), 0);
  ControllerClassDelete(h);
  ControllerClassDelete(nullptr);
}
