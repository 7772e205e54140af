#pragma once

#include <string>
#include <vector>

// The names other machines reach this one by: its host name, its fully qualified name, and
// the addresses of its network interfaces (numeric, IPv6 without brackets), loopback ones
// left out.
namespace ds {

std::vector<std::string> MachineNetworkNames();

// The machine's fully qualified name as the resolver (normally /etc/hosts) gives it for its
// host name; the host name when the resolver knows no other, "localhost" when there is none.
std::string MachineFqdn();

// True for 127.0.0.0/8, ::1 and "localhost": addresses no other machine can reach.
bool IsLoopbackAddress(const std::string& address);

}  // namespace ds
