#pragma once
// Test servers listen on 127.0.0.1 only, on a port the system chooses.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace vexa::testing {

struct LoopbackListener {
  int fd = -1;
  std::uint16_t port = 0;
};

inline LoopbackListener listen_loopback(int backlog) {
  LoopbackListener out;
  out.fd = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(out.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(out.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(out.fd, backlog);
  socklen_t len = sizeof addr;
  ::getsockname(out.fd, reinterpret_cast<sockaddr*>(&addr), &len);
  out.port = ntohs(addr.sin_port);
  return out;
}

}  // namespace vexa::testing
