#include "book/owner_block.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "text/cp932.h"

namespace tavex::book {
namespace {

// 2024-03-05 07:08:09 in local time.
std::chrono::system_clock::time_point LocalTime() {
  std::tm local{};
  local.tm_year = 124;
  local.tm_mon = 2;
  local.tm_mday = 5;
  local.tm_hour = 7;
  local.tm_min = 8;
  local.tm_sec = 9;
  local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

TEST(BuildOwnerBlock, HeadingsNoticeIdentityAndTimeOnOneLine) {
  const HostTexts host{"00-1A-2B-3C-4D-5E", "192.0.2.1\r\n192.0.2.2", "198.51.100.53"};
  const Sjis block = BuildOwnerBlock(host, "Copyright (c) Tavex", LocalTime());
  EXPECT_EQ(block.bytes,
            "<b>[COPYRIGHT INFORMATION]</b><br><b>COPYRIGHT (C) TAVEX</b><br><br>"
            "<b>[OWNER INFORMATION]</b><br>"
            "[Physical Address]<br>00-1A-2B-3C-4D-5E<br>[IP Address]<br>192.0.2.1<br>192.0.2.2<br>"
            "[DNS Servers]<br>198.51.100.53<br>"
            "<i>converted on 2024/03/05 07:08:09</i><br>");
}

TEST(BuildOwnerBlock, EmptyHostTextsKeepAllThreeHeadings) {
  const std::string block = BuildOwnerBlock(HostTexts{}, kCopyrightNotice, LocalTime()).bytes;
  EXPECT_NE(block.find("[Physical Address]<br><br>[IP Address]<br><br>[DNS Servers]<br><br><i>"), std::string::npos)
      << block;
  EXPECT_EQ(block.find('\r'), std::string::npos);
  EXPECT_NE(block.find("<b>COPYRIGHT (C) TAVEX. ALL RIGHTS RESERVED. FOR PRIVATE USE ONLY.</b>"), std::string::npos);
}

}  // namespace
}  // namespace tavex::book
