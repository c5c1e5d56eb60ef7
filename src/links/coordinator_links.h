#pragma once
// Registers the coordinator links with a factory: LinkType::Controller (the controller file
// link, the default) and LinkType::Coordinator (through our control layer).
#include "links/transfer_link.h"

namespace qel::links {

void registerCoordinatorLinks(LinkFactory& factory);

}  // namespace qel::links
