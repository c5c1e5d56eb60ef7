#pragma once
// Small TCP helpers of the command client and the control layer: a connect with a time-out,
// whole writes, and reads that give up after a time-out instead of hanging.
#include <string>

namespace qel::links::mcsock {

// True for a dotted IPv4 address ("127.0.0.2").
bool validIpv4(const std::string& address);
// A connected socket, or −1. *created is false when no socket could be made at all.
int connectTcp(const std::string& address, int port, int timeoutMs, bool* created = nullptr);
bool sendAll(int fd, const void* data, std::size_t len);
// One receive of up to max bytes: the count (> 0), 0 when the peer closed, −1 on an error or
// when nothing came within timeoutMs.
long recvSome(int fd, void* buf, std::size_t max, int timeoutMs);
// False when the peer has closed or the socket is in error.
bool stillOpen(int fd);
void closeSocket(int& fd);

}  // namespace qel::links::mcsock
