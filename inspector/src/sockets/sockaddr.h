// Berkeley socket addresses, which POSIX and Winsock share: the resolver's
// results as SocketAddresses, and a SocketAddress as connect takes it. For
// posix/net.cc and win32/net.cc.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <cstring>
#include <vector>

#include "socket_address.h"

namespace vorbek::sockets {

// IPv4 and IPv6 entries of getaddrinfo's list, in its order, each with `port`.
inline std::vector<SocketAddress> socket_addresses(const addrinfo* list, std::uint16_t port) {
  std::vector<SocketAddress> addresses;
  for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
    SocketAddress address;
    address.port = port;
    if (ai->ai_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
      std::memcpy(address.bytes.data(), &in->sin_addr, 4);
    } else if (ai->ai_family == AF_INET6) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(ai->ai_addr);
      address.family = SocketAddress::Family::IPv6;
      std::memcpy(address.bytes.data(), &in6->sin6_addr, 16);
      address.scope_id = in6->sin6_scope_id;
    } else {
      continue;
    }
    addresses.push_back(address);
  }
  return addresses;
}

// `address` written into `storage`; its length.
inline int to_sockaddr(const SocketAddress& address, sockaddr_storage& storage) {
  storage = sockaddr_storage{};
  if (address.family == SocketAddress::Family::IPv4) {
    auto* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    in->sin_port = htons(address.port);
    std::memcpy(&in->sin_addr, address.bytes.data(), 4);
    return sizeof(sockaddr_in);
  }
  auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
  in6->sin6_family = AF_INET6;
  in6->sin6_port = htons(address.port);
  std::memcpy(&in6->sin6_addr, address.bytes.data(), 16);
  in6->sin6_scope_id = address.scope_id;
  return sizeof(sockaddr_in6);
}

}  // namespace vorbek::sockets
