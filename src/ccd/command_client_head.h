#pragma once
// The machine head of the camera procedures, driven through the command client: the seam
// where the print-and-cut workflow joins the camera procedures to the machine link.
#include <optional>
#include <vector>

#include "camera/procedures.h"
#include "links/mc_command.h"

namespace qel::ccd {

class CommandClientHead : public camera::MachineHead {
 public:
  explicit CommandClientHead(links::CMC_Command& client) : client_(client) {}
  std::optional<double> readAxis(int axis) override;
  // Axes {0}, {1}, {0, 1} or {1, 0}; speed and acceleration are rounded to whole numbers.
  bool moveAbsolute(const std::vector<int>& axes, const std::vector<double>& positions, double speed,
                    double accel) override;
  bool stopRequested() const override { return client_.stopFlag(); }

 private:
  links::CMC_Command& client_;
};

}  // namespace qel::ccd
