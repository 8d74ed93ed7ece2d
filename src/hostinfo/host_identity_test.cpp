#include "hostinfo/host_identity.h"

#include <gtest/gtest.h>

namespace tavex {
namespace {

TEST(HostIdentity, FirstNonZeroAdapterInIndexOrderWins) {
  AdapterAddress loopback{1, {0, 0, 0, 0, 0, 0}};
  AdapterAddress ether{2, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}};
  AdapterAddress later{3, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
  // Listed out of index order: the index decides, not the listing.
  EXPECT_EQ(ChoosePhysicalAddress({later, ether, loopback}), "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(ChoosePhysicalAddress({loopback}), "");
  EXPECT_EQ(ChoosePhysicalAddress({}), "");
  EXPECT_EQ(FormatPhysicalAddress({0xAB, 0x0C, 0xFF, 0x01, 0x10, 0x00}), "AB-0C-FF-01-10-00");
}

TEST(HostIdentity, AddressTextHasOneLinePerAddressAndNoTrailingLineEnd) {
  EXPECT_EQ(JoinAddressText(DedupeInOrder({"192.168.1.5", "10.0.0.7", "192.168.1.5"})),
            "192.168.1.5\r\n10.0.0.7");
  EXPECT_EQ(JoinAddressText({}), "");
  EXPECT_EQ(JoinAddressText({"127.0.1.1"}), "127.0.1.1");
}

TEST(HostIdentity, NameServersComeInConfigurationOrderIpv4Only) {
  const char* conf =
      "# generated\r\n"
      "search example.org\n"
      "nameserver 192.0.2.53\n"
      "  nameserver\t198.51.100.1  # secondary\n"
      "nameserver 2001:db8::1\n"
      "; nameserver 203.0.113.9\n"
      "nameserver\n"
      "nameserver 203.0.113.10";
  std::vector<std::string> servers = ParseNameServers(conf);
  ASSERT_EQ(servers.size(), 3u);
  EXPECT_EQ(JoinAddressText({servers[0], servers[1]}), "192.0.2.53\r\n198.51.100.1");
  EXPECT_EQ(servers[2], "203.0.113.10");
}

TEST(HostIdentity, LiveQueriesGiveWellFormedTexts) {
  // Whatever the machine has, the texts keep their forms and never end in a line end.
  std::string mac = GetPhysicalAddress();
  EXPECT_TRUE(mac.empty() || (mac.size() == 17 && mac != "00-00-00-00-00-00")) << mac;
  for (const std::string& text : {GetIpAddresses(), GetDnsServers()}) {
    EXPECT_TRUE(text.empty() || (text.back() != '\n' && text.back() != '\r')) << text;
  }
  EXPECT_EQ(GetIpAddresses(), JoinAddressText(GetIpAddressList()));
}

}  // namespace
}  // namespace tavex
