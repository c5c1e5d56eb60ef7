#pragma once
// What became of one send, as a kind that the queue and its front ends word for the operator.
// The links report a fixed result text each; this reads it, together with whether a stop (the
// pause button, the preview's Cancel) was in force when the send ended.
#include <string>

namespace qel::links {

enum class SendOutcome {
  Delivered,
  Unreachable,     // the port or the connection could not be opened ("..._Connect_Fail", "Serial_Open_Fail")
  ConnectionLost,  // the network connection broke ("QEL_Connect_Close")
  Stopped,         // a stop ended it part-way; the machine keeps nothing it could run
  MachineAborted,  // the coordinator answered ABORT
  NoReply,         // no CRC answer in time
  WrongCrc,        // the coordinator's CRC of what it received differs
  TransferBroken,  // the transfer broke off (the line went down, a block was written short)
  FileUnreadable,  // the page file could not be opened
  Failed,          // any other failure; the result text says what
};

SendOutcome classifySend(bool ok, const std::string& resultText, bool stopInForce);

// The English name of an outcome, for logs ("wrong CRC").
const char* outcomeName(SendOutcome outcome);

}  // namespace qel::links
