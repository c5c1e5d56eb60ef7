// The simulators' faults by name: the command line, the control file and its watcher, and the
// folder that keeps received files.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <tuple>

#include "coordinator_sim.h"
#include "fault_control.h"
#include "fault_switches.h"
#include "received_store.h"
#include "support/temp_home.h"

namespace {

using qel::sim::FaultValues;
using qel::sim::SimKind;
using qel::test::TempHome;

TEST(FaultOptions, EachKindTakesItsOwnFaultsAndRefusesTheOthers) {
  std::vector<std::string> args = {"--wrong-crc", "--store", "x", "--close-after", "100", "--busy=3", "--silent"};
  FaultValues v;
  std::string error;
  ASSERT_TRUE(qel::sim::takeFaultOptions(args, SimKind::Coordinator, v, &error)) << error;
  EXPECT_EQ(args, (std::vector<std::string>{"--store", "x"}));  // other options are left alone
  EXPECT_EQ(v, (FaultValues{{"wrong-crc", 1}, {"close-after", 100}, {"busy", 3}, {"silent", 1}}));

  // The network controller has no CRC to get wrong: refused, naming both kinds.
  args = {"--silent", "--wrong-crc"};
  v.clear();
  EXPECT_FALSE(qel::sim::takeFaultOptions(args, SimKind::Network, v, &error));
  EXPECT_NE(error.find("--wrong-crc is a fault of the coordinator"), std::string::npos) << error;
  EXPECT_NE(error.find("--kind network cannot"), std::string::npos) << error;

  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"--close-after", "ten"}, {"--close-after"}, {"--busy=-4"}, {"--abort-at", "1x"}, {"--silent=maybe"}}) {
    args = bad;
    error.clear();
    EXPECT_FALSE(qel::sim::takeFaultOptions(args, SimKind::Coordinator, v, &error)) << bad[0];
    EXPECT_NE(error.find(bad[0].substr(0, bad[0].find('='))), std::string::npos) << error;
  }
}

TEST(FaultOptions, HelpNamesTheKindsOfEachFault) {
  const std::string help = "\n" + qel::sim::faultOptionsHelp();
  int entries = 0;
  for (std::size_t at = help.find("\n  --"); at != std::string::npos; ++entries) {
    const std::size_t next = help.find("\n  --", at + 1);
    const std::string entry = help.substr(at, next == std::string::npos ? next : next - at);
    EXPECT_TRUE(std::regex_search(entry, std::regex(R"(\[(coordinator|network|both kinds)\])"))) << entry;
    at = next;
  }
  EXPECT_GE(entries, 15) << help;
}

// Every field as a tuple, so that two settings can be compared whole.
auto fields(const qel::sim::CoordinatorFaults& f) {
  return std::make_tuple(f.silent, f.downloadAbort, f.downloadWrongCrc, f.downloadSilent, f.dropAfterBytes,
                         f.abortAfterBytes, f.commandSilent, f.noiseOnOtherChannels, f.wrongLoadEcho, f.neverReady,
                         f.refuseHeader, f.refuseFile, f.wrongKeyEcho, f.wrongLoadSystemPrompt, f.wrongConfirm,
                         f.badEchoAt);
}

TEST(FaultOptions, EveryCoordinatorFaultSwitchesItsOwnField) {
  // A switch listed for the coordinator but not wired to the simulator would be accepted and
  // then do nothing; two switches on one field would hide one of them.
  std::set<decltype(fields({}))> seen;
  for (const auto& sw : qel::sim::faultSwitches()) {
    if (!(sw.kinds & qel::sim::kindBit(SimKind::Coordinator)) || std::string(sw.name) == "busy") continue;
    qel::sim::CoordinatorFaults f;
    ASSERT_TRUE(qel::sim::setCoordinatorFault(f, sw.name, sw.counted ? 7 : 1)) << sw.name;
    EXPECT_NE(fields(f), fields({})) << sw.name;
    EXPECT_TRUE(seen.insert(fields(f)).second) << sw.name << " sets the same field as another switch";
    ASSERT_TRUE(qel::sim::setCoordinatorFault(f, sw.name, sw.counted ? -1 : 0));
    EXPECT_EQ(fields(f), fields({})) << sw.name << " does not switch off";
  }
  qel::sim::CoordinatorFaults f;
  EXPECT_FALSE(qel::sim::setCoordinatorFault(f, "serial-stall", 1));
}

TEST(FaultControl, LinesAreReadWithTheirProblemsNamed) {
  std::vector<std::string> problems;
  const FaultValues v = qel::sim::parseFaultControl(
      "# faults for the afternoon\r\n"
      "wrong-crc = on\r\n"
      "\n"
      "close-after=off\n"
      "abort-at=120\n"
      "busy\n"
      "teleport=on\n"
      "serial-stall=on\n"
      "silent=perhaps\n"
      "abort=yes",  // no line end on the last line
      SimKind::Coordinator, &problems);
  EXPECT_EQ(v, (FaultValues{{"wrong-crc", 1}, {"close-after", -1}, {"abort-at", 120}, {"abort", 1}}));
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_EQ(problems[0].rfind("line 6: ", 0), 0u) << problems[0];
  EXPECT_NE(problems[1].find("teleport"), std::string::npos);
  EXPECT_NE(problems[2].find("serial-stall is a fault of the network"), std::string::npos) << problems[2];
  EXPECT_EQ(problems[3].rfind("line 9: silent takes on or off", 0), 0u) << problems[3];
}

TEST(ControlFile, OnlyChangesAreAppliedAndTheCommandLineReturnsWhenALineGoes) {
  TempHome home;
  std::vector<std::string> calls;  // the reload runs on this thread
  std::string log;
  // Written beside and renamed in, so that the watcher never reads half a file.
  const auto write = [&](const std::string& text) {
    home.writeFile("faults.part", text);
    std::filesystem::rename(home.file("faults.part"), home.file("faults"));
  };
  auto control = std::make_unique<qel::sim::FaultControlFile>(
      home.file("faults"), SimKind::Coordinator, FaultValues{{"busy", 2}, {"silent", 1}},
      [&](const std::string& name, long long value) { calls.push_back(name + "=" + std::to_string(value)); },
      [&](const std::string& line) { log += line + "\n"; });
  control->reload();  // no file yet: the command line's faults, nothing to change
  EXPECT_TRUE(calls.empty());

  write("wrong-crc=on\nsilent=off\n");
  control->reload();
  EXPECT_EQ(calls, (std::vector<std::string>{"silent=0", "wrong-crc=1"}));
  EXPECT_NE(log.find("fault silent off (was on)"), std::string::npos) << log;

  // Read again unchanged: nothing applied twice (a busy count would start over).
  calls.clear();
  control->reload();

  write("wrong-crc=on\nbusy=off\nflux=9\n");
  control->reload();
  EXPECT_EQ(calls, (std::vector<std::string>{"silent=1", "busy=-1"}));  // and not wrong-crc again
  EXPECT_NE(log.find("line 3: no fault is called 'flux'"), std::string::npos) << log;

  // The file removed: back to the command line.
  calls.clear();
  std::filesystem::remove(home.file("faults"));
  control->reload();
  EXPECT_EQ(calls, (std::vector<std::string>{"busy=2", "wrong-crc=0"}));
  EXPECT_EQ(control->current(), (FaultValues{{"busy", 2}, {"silent", 1}}));
}

TEST(ReceivedStore, NoFileEverReplacesAnother) {
  TempHome home;
  auto name = [](int n, const std::string& sent) { return std::to_string(n) + "_" + sent; };
  home.writeFile("in/1_a.plt", "earlier run");
  home.writeFile("in/5_b.plt", "earlier run, later file");
  qel::sim::ReceivedStore first(home.file("in"), name);
  std::string error;
  // Numbers go on after the highest in the folder, whatever the names after them.
  EXPECT_EQ(first.keep("a.plt", "one", &error), home.file("in/6_a.plt")) << error;
  EXPECT_EQ(first.keep("b.plt", "two", &error), home.file("in/7_b.plt"));
  // A second run into the same folder goes on after what is there; a name taken meanwhile
  // (by another writer) is skipped, not replaced.
  home.writeFile("in/8_a.plt", "someone else's");
  EXPECT_EQ(first.keep("a.plt", "three", &error), home.file("in/9_a.plt"));
  qel::sim::ReceivedStore second(home.file("in"), name);
  EXPECT_EQ(second.keep("a.plt", "four", &error), home.file("in/10_a.plt"));
  EXPECT_EQ(home.readFile("in/1_a.plt"), "earlier run");
  EXPECT_EQ(home.readFile("in/8_a.plt"), "someone else's");
  EXPECT_EQ(home.readFile("in/7_b.plt"), "two");

  // A folder that cannot be made: no path, and why.
  home.writeFile("plain", "x");
  qel::sim::ReceivedStore blocked(home.file("plain/sub"), name);
  error.clear();
  EXPECT_TRUE(blocked.keep("a.plt", "lost?", &error).empty());
  EXPECT_NE(error.find("plain/sub"), std::string::npos) << error;
}

}  // namespace
