#pragma once
// Transfer type 5: the file goes to the coordinator through our control layer. Connect on the
// control port, wait until the coordinator's program reports ready (VR 950 and VR 951 both 0),
// download the file, then set VR 950 to 1 to start the job.
#include <cstdint>
#include <memory>
#include <string>

#include "links/transfer_link.h"

namespace qel::links {

class CDMotionControl;

class CMCControl_Transfer : public TransferLink {
 public:
  static constexpr int kControlPort = 3240;
  static constexpr int kReadyStepMs = 500;

  // Uses the owner's control when one is given, else a control of its own. Reads Xitong_IP and
  // passes it to the control.
  CMCControl_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize,
                      CDMotionControl* control = nullptr, int controlPort = kControlPort);
  ~CMCControl_Transfer() override;

  bool send() override;
  std::string resultText() const override { return resultText_; }

 private:
  TransferOwner& owner_;
  std::unique_ptr<CDMotionControl> ownControl_;
  CDMotionControl* control_;
  std::string address_;
  std::string filePath_;
  std::string resultText_;
  std::int32_t fileSize_;
  int port_;
};

}  // namespace qel::links
