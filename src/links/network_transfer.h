#pragma once
// The network link: sends a plot file to the machine's own network controller over one TCP
// connection (machine port 3241). Two-byte requests and replies frame the raw file bytes:
//   start request 01 01, answered 01 01 when the machine is ready (anything else: busy);
//   the file in pieces of at most 100 bytes, 200 ms apart;
//   end request 01 02, answered 01 02.
// The start request sent alone is also the readiness probe of the camera workflow.
#include <cstdint>
#include <string>

#include "links/transfer_link.h"
#include "platform/clock.h"

namespace qel::links {

struct NetworkLinkOptions {
  platform::Clock* clock = nullptr;  // pacing and round spacing; the owner's clock when null
  int port = 3241;
  int eventWaitMs = 1000;    // wait for the machine's answer to one request
  int connectTimeoutMs = 3000;
  int pieceSize = 100;
  int piecePauseMs = 200;
};

// Texts of the operator messages of this link, by language (1 English, 0 Chinese).
std::string networkConnectFailMessage(int language);
std::string networkInterruptionMessage(int language);

inline constexpr const char* kQelConnectClose = "QEL_Connect_Close";

class CNetwork_Transfer : public TransferLink {
 public:
  // Reads Xitong_IP from the owner's Config.ini.
  CNetwork_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize,
                    NetworkLinkOptions options = {});
  ~CNetwork_Transfer() override;
  CNetwork_Transfer(const CNetwork_Transfer&) = delete;
  CNetwork_Transfer& operator=(const CNetwork_Transfer&) = delete;

  // Connects, asks the machine to take a file, sends it and asks it to finish. True when the
  // file was delivered and no stop is in force at the end. Leaves "QEL_Connect_Fail" when the
  // machine could not be reached, "QEL_Connect_Close" when the connection broke, and
  // "Open Transfer-File Fail." (without touching the machine) when the file cannot be read.
  bool send() override;
  std::string resultText() const override { return resultText_; }

  // Only opens the connection: 1 when connected, 0 with "QEL_Connect_Fail" otherwise. No
  // message is shown.
  int Connect();
  // Readiness exchanges, one per try until one gives an answer:
  //   1 ready, 0 no answer at all (or the request went out only in part), -1 the request
  //   could not be sent (or, on a closed link, the machine could not be reached), -2 the wait
  //   failed, -3 no answer within the wait, -4 busy, -5 the machine closed the connection.
  // A probe on a closed link connects first, so a workflow may probe again and again; the
  // link is closed when the probe returns, except after a partial send of the request.
  int Probe(int tries);
  // Closes the connection; safe to call any number of times.
  void Close();

  bool connected() const { return fd_ >= 0; }
  const std::string& machineAddress() const { return address_; }

 private:
  enum class Answer { Expected, Other, Closed, SendError, Partial, Timeout, WaitFailed };

  bool openConnection();
  Answer exchange(std::uint8_t second, bool allowPartial);
  bool phase(std::uint8_t second);
  bool sendWhole(const std::uint8_t* data, std::size_t len);
  bool peerClosed();
  void interrupted();
  platform::Clock& clock() const;

  int fd_ = -1;
  std::string address_;
  TransferOwner& owner_;
  std::string filePath_;
  std::int32_t fileSize_;
  std::string resultText_;
  NetworkLinkOptions opt_;
};

}  // namespace qel::links
