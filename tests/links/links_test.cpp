#include <gtest/gtest.h>
#include <strings.h>

#include <typeindex>

#include "config/ini_config.h"
#include "fake_owner.h"
#include "links/machine_name.h"
#include "links/network_transfer.h"
#if QEL_LINKS_COORDINATOR
#include "links/controller_transfer.h"
#include "links/mc_control_transfer.h"
#endif
#include "links/send_outcome.h"
#include "links/parallel_transfer.h"
#include "links/serial_transfer.h"
#include "links/transfer_link.h"
#include "support/temp_home.h"

namespace qel::links {
namespace {

using test::FakeTransferOwner;
using test::TempHome;

class ParallelLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config::CIniConfig cfg(home.path());
    cfg.write(config::keys::Xitong_TT, 1);
    home.writeFile("lp0", "");
    home.writeFile("lp1", "");
    pattern = home.path() + "/lp%d";
  }
  TempHome home;
  FakeTransferOwner owner{home.path()};
  std::string pattern;
};

TEST_F(ParallelLinkTest, CopiesWholeFileToPortDeviceAndReportsProgress) {
  const std::string content = std::string(10000, 'x') + "PU0,0;PD100,100;";
  home.writeFile("out dir/job 1.PLT", content);  // blanks in the path
  owner.stop_ = true;                              // a pause pressed before the send does not stop it
  SendResult r = sendWithLink(LinkFactory::standard({pattern}), 1, owner, home.file("out dir/job 1.PLT"),
                              static_cast<std::int32_t>(content.size()));
  EXPECT_EQ(std::tie(r.ok, r.text), std::make_tuple(true, std::string()));
  EXPECT_FALSE(owner.stop_);
  EXPECT_EQ(home.readFile("lp1"), "");
  EXPECT_EQ(owner.progress(), (std::vector<std::string>{"range 0..100", "pos 1", "pos 0"}));
  // Successive files follow one another on the device.
  home.writeFile("b.PLT", "SP1;");
  EXPECT_TRUE(sendWithLink(LinkFactory::standard({pattern}), 1, owner, home.file("b.PLT"), 4).ok);
  EXPECT_EQ(home.readFile("lp0"), content + "SP1;");
  // The port number chooses the device.
  config::CIniConfig(home.path()).writeText("Parallel", "Parallel_No", "2");
  CParallel_Transfer second(owner, home.file("b.PLT"), 4, pattern);
  EXPECT_EQ(second.devicePath(), home.path() + "/lp1");
  EXPECT_TRUE(second.send());
  EXPECT_EQ(home.readFile("lp1"), "SP1;");
  EXPECT_EQ(CParallel_Transfer(owner, "x", 1).devicePath(), "/dev/lp1");
}

// A device missing or full, or a missing source file: not reported as delivered, and nothing is
// created in a missing device's place.
TEST_F(ParallelLinkTest, FailedCopyIsNotReportedAsDelivered) {
  home.writeFile("a.PLT", "IN;PU0,0;");
  for (const auto& [source, device] : {std::pair<std::string, std::string>{"a.PLT", home.path() + "/nolp%d"},
                                       {"a.PLT", "/dev/full"}, {"gone.PLT", pattern}}) {
    CParallel_Transfer link(owner, home.file(source), 9, device);
    EXPECT_FALSE(link.send()) << device;
    EXPECT_EQ(link.resultText(), "");
  }
  EXPECT_FALSE(platform::fileExists(home.path() + "/nolp0"));
  EXPECT_EQ(home.readFile("lp0"), "");
  EXPECT_EQ(owner.progress().back(), "pos 0");
}

TEST_F(ParallelLinkTest, FactoryMakesEachTypesLinkAndOtherTypesFailWithEmptyText) {
  home.writeFile("a.PLT", "IN;");
  LinkFactory f = LinkFactory::standard({pattern});
  const std::pair<int, std::type_index> kinds[] = {
      {1, typeid(CParallel_Transfer)}, {2, typeid(CSerial_Transfer)}, {4, typeid(CNetwork_Transfer)},
#if QEL_LINKS_COORDINATOR
      {3, typeid(CController_Transfer)}, {5, typeid(CMCControl_Transfer)},
#endif
  };
  for (const auto& [type, its] : kinds) {
    const auto link = f.make(type, owner, home.file("a.PLT"), 3);
    EXPECT_EQ(std::type_index(typeid(*link)), its) << type;
  }
  for (int type : {0, 6, -1}) {
    SendResult r = sendWithLink(f, type, owner, home.file("a.PLT"), 3);
    EXPECT_EQ(std::tie(r.ok, r.text), std::make_tuple(false, std::string())) << type;
  }
  EXPECT_EQ(home.readFile("lp0"), "");
}

// An owner that shows no windows of its own writes a link's message to standard error and
// answers OK, so that a question never waits for a window that is not there.
TEST(TransferOwnerTest, WithoutWindowsAMessageIsWrittenOutAndAnsweredOk) {
  struct Windowless : QuietOwner {
    using QuietOwner::QuietOwner;
    bool showMessage(const std::string& t, const std::string& x, Buttons b) override { return TransferOwner::showMessage(t, x, b); }
  } owner("/nowhere");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(owner.showMessage("Link", "Can not connect to machine !", TransferOwner::Buttons::OkCancel));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Link: Can not connect to machine !\n");
}

// The links' result texts as outcomes the queue words.
TEST(SendOutcomeTest, ResultTextsOfEveryLink) {
  struct Case {
    bool ok;
    const char* text;
    bool stopped;
    SendOutcome want;
  } cases[] = {
      {true, "File transfer successful.\nDuration=00:00:01", false, SendOutcome::Delivered},
      {false, "MC_Connect_Fail", false, SendOutcome::Unreachable},
      {false, "QEL_Connect_Fail", false, SendOutcome::Unreachable},
      {false, "Serial_Open_Fail", false, SendOutcome::Unreachable},
      {false, "QEL_Connect_Close", false, SendOutcome::ConnectionLost},
      {false, "File transfer cancelled by user.\nDuration=00:00:03", true, SendOutcome::Stopped},
      {false, "\xe5\x81\x9c\xe6\xad\xa2\xe5\x8f\x91\xe9\x80\x81", true, SendOutcome::Stopped},
      {false, "", true, SendOutcome::Stopped},  // network and serial links stopped
      {false, "", false, SendOutcome::Failed},  // parallel link: nothing to say
      {false, "File transfer cancelled by controller.\nDuration=00:00:01", false, SendOutcome::MachineAborted},
      {false, "Timeout waiting for CRC.\nDuration=00:01:00", false, SendOutcome::NoReply},
      {false, "File transfer failed. CRC wrong (Calculated=$fee8, Received=$eff9)\nDuration=00:00:01", false,
       SendOutcome::WrongCrc},
      {false, "Error in file transfer.\nDuration=00:00:02", false, SendOutcome::TransferBroken},
      {false, "File transfer failed(Transfer=$1000, Received=$800)", false, SendOutcome::TransferBroken},
      {false, "Open Transfer-File Fail.", false, SendOutcome::FileUnreadable},
      {false, "Error creating receive thread", false, SendOutcome::Failed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classifySend(c.ok, c.text, c.stopped), c.want) << c.text;
    // The texts that pause the queue are exactly those of an unreachable machine.
    EXPECT_EQ(isConnectionFailure(c.text), c.want == SendOutcome::Unreachable) << c.text;
  }
  EXPECT_FALSE(isConnectionFailure("QEL_Connect_Fail "));
}

// Names on the coordinator: 8 bytes of name and 4 of extension in the machine's code page (CP936,
// where a Chinese character takes 2 bytes), never split inside a character, unique.
TEST(MachineName, CutAtCharacterBoundariesAndKeptUnique) {
  const std::string zhong = "\xd6\xd0", wen = "\xce\xc4";  // 中 文 in CP936
  struct Case {
    const char* file;
    std::vector<std::string> taken;
    std::string want;
  } cases[] = {
      {"job.plt", {}, "job.plt"},
      {"job.plt", {"JOB.PLT"}, "job~1.plt"},  // the machine does not tell case apart
      {"verylongname.hpgl", {}, "verylo~1.hpg"},
      {"verylongname.hpgl", {"verylo~1.hpg", "verylo~2.hpg"}, "verylo~3.hpg"},
      {"abcdefg\xe4\xb8\xad.PLT", {}, "abcdef~1.PLT"},  // 9 bytes: cut, and never mid-character
      {"\xe4\xb8\xad\xe6\x96\x87.plt", {}, zhong + wen + ".plt"},
      {"\xe4\xb8\xad\xe6\x96\x87\xe4\xb8\xad\xe6\x96\x87\xe4\xb8\xad.plt", {}, zhong + wen + zhong + "~1.plt"},
      {"a\xe4\xb8\xad\xe6\x96\x87\xe4\xb8\xad\xe6\x96\x87.plt", {}, "a" + zhong + wen + "~1.plt"},
      {"job.\xe4\xb8\xad\xe6\x96\x87", {}, "job." + zhong},
      {"bad\xff.plt", {}, "bad?.plt"},  // no UTF-8: a placeholder, not a stray byte
      {"noext", {}, "noext"},
  };
  for (const Case& c : cases) {
    const std::string got = machineName(c.file, [&](const std::string& n) {
      for (const auto& t : c.taken)
        if (strcasecmp(t.c_str(), n.c_str()) == 0) return true;
      return false;
    });
    EXPECT_EQ(got, c.want) << c.file;
  }
}

TEST(MachineName, TheRegisterGivesEachFileItsOwnNameAndTheSameNameAgain) {
  TempHome home;
  // A page sent again (after a stop) replaces its own part on the machine, and nothing else.
  for (const auto& [file, want] : std::vector<std::pair<std::string, std::string>>{
           {"job_20260105_093000_001.PLT", "job_20~1.PLT"}, {"job_20260105_093000_002.PLT", "job_20~2.PLT"},
           {"job_20260106_080000_001.PLT", "job_20~3.PLT"}, {"job_20260105_093000_002.PLT", "job_20~2.PLT"}})
    EXPECT_EQ(registerMachineName(home.path(), file), want) << file;
  // The register outlives the program; once it is full its oldest names are given out again.
  std::string full = home.readFile("MachineNames.txt");
  for (std::size_t i = 3; i < kMaxMachineNames; ++i) full += "x~" + std::to_string(i) + ".plt\tx" + std::to_string(i) + ".plt\n";
  home.writeFile("MachineNames.txt", full);
  EXPECT_EQ(registerMachineName(home.path(), "job_20260107_080000_001.PLT"), "job_20~1.PLT");
  EXPECT_EQ(registerMachineName(home.path(), "job_20260107_080000_002.PLT"), "job_20~2.PLT");
}

}  // namespace
}  // namespace qel::links
