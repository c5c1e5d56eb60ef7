#pragma once
// The translate step of a real queue: one CDisposeFile run per source file, collecting the
// reported page files in sending order.
#include "intake/translator.h"

namespace qel::intake {

class DisposeTranslator : public Translator {
 public:
  TranslateResult translate(const std::string& homeDir, const std::string& source, const std::string& disposeDir,
                            const std::string& stamp) override;
};

}  // namespace qel::intake
