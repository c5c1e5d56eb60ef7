#pragma once
// The parallel port link: copies the file to the printer device of port Parallel_No
// (LPT1 is /dev/lp0), blocking until the whole file has been written.
#include <cstdint>
#include <string>

#include "links/transfer_link.h"

namespace qel::links {

class CParallel_Transfer : public TransferLink {
 public:
  // Reads Parallel_No from the owner's Config.ini.
  CParallel_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize,
                     const std::string& devicePattern = "/dev/lp%d");
  ~CParallel_Transfer() override = default;

  bool send() override;
  // Always empty: a failed copy is never taken for a connection failure.
  std::string resultText() const override { return resultText_; }

  int portNumber() const { return portNo_; }
  const std::string& devicePath() const { return device_; }

 private:
  bool copyToDevice();

  TransferOwner& owner_;
  int portNo_ = 1;
  std::string filePath_;
  bool success_ = false;
  std::string resultText_;
  std::int32_t fileSize_;
  std::string device_;
};

}  // namespace qel::links
