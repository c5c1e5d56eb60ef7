#pragma once
// The translate step of the send queue: disposes of one source file into page files in the
// dispose folder. The real one runs the dispose pipeline; tests use a fake.
#include <string>
#include <vector>

#include "intake/queue_failure.h"

namespace qel::intake {

struct TranslateResult {
  bool ok = false;
  std::vector<std::string> outputs;  // full paths of the written page files, in sending order
  int splitMode = 0;                 // the page mode the run used
  std::string error;
  FailureKind failure = FailureKind::DisposeFailed;  // why, when not ok
};

class Translator {
 public:
  virtual ~Translator() = default;
  // Runs on the translate worker; never two at a time.
  virtual TranslateResult translate(const std::string& homeDir, const std::string& source,
                                    const std::string& disposeDir, const std::string& stamp) = 0;
};

}  // namespace qel::intake
