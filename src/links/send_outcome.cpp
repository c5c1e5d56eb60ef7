#include "links/send_outcome.h"

#include "links/network_transfer.h"
#include "links/transfer_link.h"

namespace qel::links {

namespace {
bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }
}  // namespace

SendOutcome classifySend(bool ok, const std::string& text, bool stopInForce) {
  if (ok) return SendOutcome::Delivered;
  if (isConnectionFailure(text)) return SendOutcome::Unreachable;
  if (text == kQelConnectClose) return SendOutcome::ConnectionLost;
  // The control link's own stop text is Chinese in every language.
  if (startsWith(text, "File transfer cancelled by user.") || text == "\xe5\x81\x9c\xe6\xad\xa2\xe5\x8f\x91\xe9\x80\x81")
    return SendOutcome::Stopped;
  if (startsWith(text, "File transfer cancelled by controller.")) return SendOutcome::MachineAborted;
  if (startsWith(text, "Timeout waiting for CRC.")) return SendOutcome::NoReply;
  if (startsWith(text, "File transfer failed. CRC wrong")) return SendOutcome::WrongCrc;
  if (startsWith(text, "Error in file transfer.") || startsWith(text, "File transfer failed(Transfer="))
    return SendOutcome::TransferBroken;
  if (text == "Open Transfer-File Fail.") return SendOutcome::FileUnreadable;
  // The network and serial links end a stopped send with an empty text.
  if (text.empty() && stopInForce) return SendOutcome::Stopped;
  return SendOutcome::Failed;
}

const char* outcomeName(SendOutcome o) {
  switch (o) {
    case SendOutcome::Delivered: return "delivered";
    case SendOutcome::Unreachable: return "the machine cannot be reached";
    case SendOutcome::ConnectionLost: return "the connection to the machine broke";
    case SendOutcome::Stopped: return "stopped part-way";
    case SendOutcome::MachineAborted: return "the machine refused the file (ABORT)";
    case SendOutcome::NoReply: return "the machine gave no CRC answer";
    case SendOutcome::WrongCrc: return "wrong CRC";
    case SendOutcome::TransferBroken: return "the transfer broke off";
    case SendOutcome::FileUnreadable: return "the page file cannot be read";
    case SendOutcome::Failed: return "the send failed";
  }
  return "the send failed";
}

}  // namespace qel::links
