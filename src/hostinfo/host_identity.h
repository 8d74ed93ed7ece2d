// The converting machine's network identity, written into the owner block of the book:
// one adapter's physical address, the host's IPv4 addresses and its DNS servers.
// None of these reports an error: a failure of the system calls gives empty text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavex {

// One network interface's hardware address, with the interface's index.
struct AdapterAddress {
  int index = 0;
  std::array<std::uint8_t, 6> bytes{};
};

// Six bytes as upper-case hexadecimal pairs joined by "-" ("00-1A-2B-3C-4D-5E").
std::string FormatPhysicalAddress(const std::array<std::uint8_t, 6>& bytes);

// The formatted address of the first adapter, in index order, whose address is not all
// zero; empty when there is none.
std::string ChoosePhysicalAddress(std::vector<AdapterAddress> adapters);

// The physical address of the first interface with a non-zero six-byte hardware address.
std::string GetPhysicalAddress();

// The IPv4 name servers of resolver configuration text ("nameserver" lines), in order.
std::vector<std::string> ParseNameServers(std::string_view resolv_conf);

// The list without repeated entries, first occurrences kept in order.
std::vector<std::string> DedupeInOrder(const std::vector<std::string>& items);

// Joins addresses with CR LF and trims leading and trailing characters up to 0x20,
// so the text has no line end after its last line.
std::string JoinAddressText(const std::vector<std::string>& addresses);

// The host name's IPv4 addresses in resolver order, each once.
std::vector<std::string> GetIpAddressList();
// The resolver's IPv4 name servers, primary first.
std::vector<std::string> GetDnsServerList();

// The two lists as text, one address per line (JoinAddressText).
std::string GetIpAddresses();
std::string GetDnsServers();

}  // namespace tavex
