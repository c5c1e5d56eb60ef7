#include "ccd/command_client_head.h"

#include <cmath>

namespace qel::ccd {

std::optional<double> CommandClientHead::readAxis(int axis) {
  if (axis != 0 && axis != 1) return std::nullopt;
  double v = 0;
  if (!client_.getMpos(axis, &v)) return std::nullopt;
  return v;
}

bool CommandClientHead::moveAbsolute(const std::vector<int>& axes, const std::vector<double>& positions,
                                     double speed, double accel) {
  if (axes.empty() || axes.size() > 2 || positions.size() != axes.size() || !std::isfinite(speed) ||
      !std::isfinite(accel))
    return false;
  const int s = static_cast<int>(std::lround(speed));
  const int a = static_cast<int>(std::lround(accel));
  if (axes.size() == 1) {
    if (axes[0] != 0 && axes[0] != 1) return false;
    return client_.movePos(axes[0], s, a, positions[0], 0);
  }
  if (axes[0] == 0 && axes[1] == 1) return client_.movePos(2, s, a, positions[0], positions[1]);
  if (axes[0] == 1 && axes[1] == 0) return client_.movePos(2, s, a, positions[1], positions[0]);
  return false;
}

}  // namespace qel::ccd
