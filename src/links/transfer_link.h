#pragma once
// A transfer link delivers one finished plot file to the machine. The caller constructs the
// link chosen by Xitong_TT with its owner, the file's path and size, calls send() once, reads
// resultText() and drops the link.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "links/transfer_owner.h"

namespace qel::links {

// Texts a link leaves when the machine cannot be reached at all; the queue pauses on them.
inline constexpr const char* kSerialOpenFail = "Serial_Open_Fail";
inline constexpr const char* kQelConnectFail = "QEL_Connect_Fail";
inline constexpr const char* kMcConnectFail = "MC_Connect_Fail";

bool isConnectionFailure(const std::string& resultText);

class TransferLink {
 public:
  virtual ~TransferLink() = default;
  // Blocks until the send is over; true when the file was delivered.
  virtual bool send() = 0;
  virtual std::string resultText() const = 0;
};

// Device settings that the links take from outside Config.ini (tests, simulations).
struct LinkEnvironment {
  // Printer device for the parallel link; "%d" stands for the port number minus one.
  std::string parallelDevicePattern = "/dev/lp%d";
};

// Chooses the link by Xitong_TT. A type without a maker gives no link, which the caller
// counts as a failed send with an empty result text.
class LinkFactory {
 public:
  using Maker = std::function<std::unique_ptr<TransferLink>(TransferOwner& owner, const std::string& path,
                                                            std::int32_t size)>;

  // The links of this build: 1 parallel; later links add their makers here.
  static LinkFactory standard(const LinkEnvironment& env = {});

  void set(int type, Maker maker) { makers_[type] = std::move(maker); }
  std::unique_ptr<TransferLink> make(int type, TransferOwner& owner, const std::string& path,
                                     std::int32_t size) const;

 private:
  std::map<int, Maker> makers_;
};

struct SendResult {
  bool ok = false;
  std::string text;
};

// Constructs the link for `type`, sends once and drops it.
SendResult sendWithLink(const LinkFactory& factory, int type, TransferOwner& owner, const std::string& path,
                        std::int32_t size);

}  // namespace qel::links
