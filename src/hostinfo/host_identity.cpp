#include "hostinfo/host_identity.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <unordered_set>

#include <fmt/format.h>

#include "fs/files.h"
#include "text/text.h"

namespace tavex {

namespace {

constexpr const char* kResolverConfig = "/etc/resolv.conf";

struct IfaddrsDeleter {
  void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
struct AddrinfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

bool IsIpv4(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

}  // namespace

std::string FormatPhysicalAddress(const std::array<std::uint8_t, 6>& bytes) {
  return fmt::format("{:02X}-{:02X}-{:02X}-{:02X}-{:02X}-{:02X}", bytes[0], bytes[1], bytes[2],
                     bytes[3], bytes[4], bytes[5]);
}

std::string ChoosePhysicalAddress(std::vector<AdapterAddress> adapters) {
  std::stable_sort(adapters.begin(), adapters.end(),
                   [](const AdapterAddress& a, const AdapterAddress& b) { return a.index < b.index; });
  for (const AdapterAddress& adapter : adapters) {
    bool zero = std::all_of(adapter.bytes.begin(), adapter.bytes.end(), [](std::uint8_t b) { return b == 0; });
    if (!zero) return FormatPhysicalAddress(adapter.bytes);
  }
  return {};
}

std::string GetPhysicalAddress() {
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) != 0) return {};
  std::unique_ptr<ifaddrs, IfaddrsDeleter> list(raw);
  std::vector<AdapterAddress> adapters;
  for (ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    if (link->sll_halen != 6) continue;
    AdapterAddress adapter;
    adapter.index = link->sll_ifindex;
    std::copy(link->sll_addr, link->sll_addr + 6, adapter.bytes.begin());
    adapters.push_back(adapter);
  }
  return ChoosePhysicalAddress(std::move(adapters));
}

std::vector<std::string> ParseNameServers(std::string_view resolv_conf) {
  std::vector<std::string> servers;
  std::size_t start = 0;
  while (start < resolv_conf.size()) {
    std::size_t end = resolv_conf.find('\n', start);
    if (end == std::string_view::npos) end = resolv_conf.size();
    std::string_view line = resolv_conf.substr(start, end - start);
    start = end + 1;

    // Fields are separated by blanks; "#" and ";" start comments.
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
      if (c == '#' || c == ';') break;
      if (c == ' ' || c == '\t' || c == '\r') {
        if (!field.empty()) fields.push_back(std::move(field));
        field.clear();
      } else {
        field += c;
      }
    }
    if (!field.empty()) fields.push_back(std::move(field));
    if (fields.size() >= 2 && fields[0] == "nameserver" && IsIpv4(fields[1])) {
      servers.push_back(fields[1]);
    }
  }
  return servers;
}

std::vector<std::string> DedupeInOrder(const std::vector<std::string>& items) {
  std::vector<std::string> result;
  std::unordered_set<std::string> seen;
  for (const std::string& item : items) {
    if (seen.insert(item).second) result.push_back(item);
  }
  return result;
}

std::string JoinAddressText(const std::vector<std::string>& addresses) {
  std::string text;
  for (const std::string& address : addresses) {
    if (!text.empty()) text += "\r\n";
    text += address;
  }
  return TrimControl(text);
}

std::vector<std::string> GetIpAddressList() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one answer per address rather than one per socket type
  addrinfo* raw = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &raw) != 0) return {};
  std::unique_ptr<addrinfo, AddrinfoDeleter> list(raw);
  std::vector<std::string> addresses;
  for (addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
      addresses.emplace_back(text);
    }
  }
  return DedupeInOrder(addresses);
}

std::vector<std::string> GetDnsServerList() {
  try {
    if (!FileExists(kResolverConfig)) return {};
    return ParseNameServers(ReadFile(kResolverConfig));
  } catch (const std::exception&) {
    return {};  // an unreadable configuration means no servers are known
  }
}

std::string GetIpAddresses() { return JoinAddressText(GetIpAddressList()); }

std::string GetDnsServers() { return JoinAddressText(GetDnsServerList()); }

}  // namespace tavex
