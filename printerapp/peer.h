// Who is at the other end of a loopback connection: the kernel's socket
// tables (/proc/net/tcp and tcp6) name the owner of the client's socket,
// so a local user is known without a login, as on the local socket.
#pragma once

#include <sys/socket.h>

#include <string>
#include <string_view>

namespace kpxapp {

// An endpoint as the socket tables write it: "0100007F:1F90" for
// 127.0.0.1 port 8080; the 32-bit words of the address as the kernel keeps
// them, in hexadecimal. An IPv4 address mapped into IPv6 is written as the
// IPv4 address (the client's socket is an IPv4 one). Empty for other
// families.
std::string socketTableEndpoint(const sockaddr *address);

// The owner (uid) of the socket whose local end is `local` and remote end
// `remote` in a socket table's text, or -1 when the table has no such
// socket. Lines that do not parse are skipped.
long socketTableOwner(std::string_view table, std::string_view local, std::string_view remote);

}  // namespace kpxapp
