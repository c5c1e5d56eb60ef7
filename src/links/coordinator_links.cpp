#include "links/coordinator_links.h"

#include "config/modes.h"
#include "links/controller_transfer.h"
#include "links/mc_control_transfer.h"

namespace qel::links {

void registerCoordinatorLinks(LinkFactory& factory) {
  factory.set(+config::LinkType::Controller, [](TransferOwner& owner, const std::string& path, std::int32_t size) {
    return std::make_unique<CController_Transfer>(owner, path, size);
  });
  factory.set(+config::LinkType::Coordinator, [](TransferOwner& owner, const std::string& path, std::int32_t size) {
    return std::make_unique<CMCControl_Transfer>(owner, path, size);
  });
}

}  // namespace qel::links
