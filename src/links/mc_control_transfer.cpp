#include "links/mc_control_transfer.h"

#include "config/ini_config.h"
#include "links/dmotion_control.h"
#include "links/machine_name.h"

namespace qel::links {

CMCControl_Transfer::CMCControl_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize,
                                         CDMotionControl* control, int controlPort)
    : owner_(owner), control_(control), filePath_(std::move(filePath)), fileSize_(fileSize), port_(controlPort) {
  if (!control_) {
    ownControl_ = std::make_unique<CDMotionControl>();
    control_ = ownControl_.get();
  }
  config::CIniConfig cfg(owner_.programDir());
  address_ = cfg.read(config::keys::Xitong_IP);
  control_->SetIP(address_);
}

CMCControl_Transfer::~CMCControl_Transfer() = default;

bool CMCControl_Transfer::send() {
  bool open = control_->IsOpen(port_);
  if (!open) open = control_->Open(2, static_cast<short>(port_));
  if (!open) {
    resultText_ = kMcConnectFail;
    owner_.showMessage("Information", owner_.language() == 1 ? "Can not connect to machine !" : "无法连接到机器！");
    return false;
  }
  // The coordinator's program is ready when both handshake variables read 0.
  for (;;) {
    if (owner_.stopInForce()) break;
    double start = -1, busy = -1;
    const bool ready = control_->GetVr(950, &start) && control_->GetVr(951, &busy) && start == 0 && busy == 0;
    if (ready) break;
    // A lost connection is opened again for the next check.
    if (!control_->IsOpen(port_)) control_->Open(2, static_cast<short>(port_));
    owner_.clock().sleepMs(kReadyStepMs);
  }
  if (owner_.stopInForce()) {
    resultText_ = "停止发送";
    control_->Close(0);
    return false;
  }
  const std::string::size_type slash = filePath_.find_last_of('/');
  control_->setDownloadName(
      registerMachineName(owner_.programDir(), slash == std::string::npos ? filePath_ : filePath_.substr(slash + 1)));
  if (!control_->Download(filePath_, 0, "1", 2, false, 0, true, 15)) {
    control_->Close(0);
    return false;
  }
  const bool started = control_->SetVr(950, 1.0);
  control_->Close(0);
  return started;
}

}  // namespace qel::links
