#pragma once
#include <QCoreApplication>

#include <functional>

#include "support/wait.h"

namespace qel::test {

// Runs the event loop until `done` holds or `ms` have passed; returns `done()`.
inline bool pumpUntil(const std::function<bool()>& done, int ms = 3000) {
  return waitUntil([&] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); return done(); }, ms);
}

}  // namespace qel::test
