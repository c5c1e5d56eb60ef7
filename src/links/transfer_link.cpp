#include "links/transfer_link.h"

#include "config/modes.h"

#include "links/network_transfer.h"
#include "links/parallel_transfer.h"
#ifdef QEL_LINKS_COORDINATOR
#include "links/coordinator_links.h"
#endif
#include "links/serial_transfer.h"

namespace qel::links {

bool isConnectionFailure(const std::string& t) {
  return t == kSerialOpenFail || t == kQelConnectFail || t == kMcConnectFail;
}

LinkFactory LinkFactory::standard(const LinkEnvironment& env) {
  LinkFactory f;
  std::string pattern = env.parallelDevicePattern;
  f.set(+config::LinkType::Parallel, [pattern](TransferOwner& owner, const std::string& path, std::int32_t size) {
    return std::make_unique<CParallel_Transfer>(owner, path, size, pattern);
  });
  f.set(+config::LinkType::Serial, [](TransferOwner& owner, const std::string& path, std::int32_t size) {
    return std::make_unique<CSerial_Transfer>(owner, path, size);
  });
  f.set(+config::LinkType::Network, [](TransferOwner& owner, const std::string& path, std::int32_t size) {
    return std::make_unique<CNetwork_Transfer>(owner, path, size);
  });
#ifdef QEL_LINKS_COORDINATOR
  registerCoordinatorLinks(f);  // Controller and Coordinator
#endif
  return f;
}

std::unique_ptr<TransferLink> LinkFactory::make(int type, TransferOwner& owner, const std::string& path,
                                                std::int32_t size) const {
  auto it = makers_.find(type);
  if (it == makers_.end() || !it->second) return nullptr;
  return it->second(owner, path, size);
}

SendResult sendWithLink(const LinkFactory& factory, int type, TransferOwner& owner, const std::string& path,
                        std::int32_t size) {
  SendResult r;
  std::unique_ptr<TransferLink> link = factory.make(type, owner, path, size);
  if (!link) return r;
  r.ok = link->send();
  r.text = link->resultText();
  return r;
}

}  // namespace qel::links
