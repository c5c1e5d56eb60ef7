#pragma once
// Registers the coordinator links with a factory: type 3 (controller file link, the default)
// and type 5 (through our control layer).
#include "links/transfer_link.h"

namespace qel::links {

void registerCoordinatorLinks(LinkFactory& factory);

}  // namespace qel::links
