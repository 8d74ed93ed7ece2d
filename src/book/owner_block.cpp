// The owner block and the copyright page.
#include "book/owner_block.h"

#include <ctime>

#include <fmt/format.h>

#include "hostinfo/host_identity.h"
#include "text/cp932.h"
#include "fs/files.h"

namespace tavex::book {

const char* const kCopyrightNotice = "Copyright (C) TAVEX. All rights reserved. For private use only.";

namespace {

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

}  // namespace

HostTexts CurrentHostTexts() {
  // Asked in this order, once per book.
  HostTexts host;
  host.physical_address = GetPhysicalAddress();
  host.ip_addresses = GetIpAddresses();
  host.dns_servers = GetDnsServers();
  return host;
}

std::string FormatConversionTime(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  return fmt::format("{:04}/{:02}/{:02} {:02}:{:02}:{:02}", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour, local.tm_min, local.tm_sec);
}

Sjis BuildOwnerBlock(const HostTexts& host, std::string_view notice, std::chrono::system_clock::time_point now) {
  const std::string identity =
      ReplaceAll(fmt::format("[Physical Address]\r\n{}\r\n[IP Address]\r\n{}\r\n[DNS Servers]\r\n{}",
                             host.physical_address, host.ip_addresses, host.dns_servers),
                 "\r\n", "<br>");
  const std::string block = fmt::format("<b>{}</b><br><b>{}</b><br><br>", "[COPYRIGHT INFORMATION]", AsciiUpper(notice)) +
                            "<b>[OWNER INFORMATION]</b><br>" + identity + "<br>" +
                            fmt::format("<i>converted on {}</i><br>", FormatConversionTime(now));
  return ToSjis(block);
}

Sjis CopyrightPageText(const Sjis& owner_block) {
  std::string text;
  for (const char* line : {"<html>", "<head>", "<title>copyright</title>", "</head>", "<body>"}) {
    text += line;
    text += "\r\n";
  }
  text += owner_block.bytes + "\r\n";
  text += "</body>\r\n</html>\r\n";
  return Sjis(std::move(text));
}

void WriteCopyrightPage(const std::string& path, const Sjis& owner_block) {
  WriteFileAtomic(path, CopyrightPageText(owner_block).bytes);
}

}  // namespace tavex::book
