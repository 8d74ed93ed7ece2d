// The copyright and owner information of a book: the notice, the converting machine's
// network identity and the conversion time, as one line of HTML that the book's last entry
// and the copyright page both carry.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "text/text.h"

namespace tavex::book {

// The copyright notice of the book, shown in upper case under [COPYRIGHT INFORMATION].
extern const char* const kCopyrightNotice;

// The machine's identity as the owner block shows it. Each text may hold several lines
// separated by CR LF, and may be empty.
struct HostTexts {
  std::string physical_address;
  std::string ip_addresses;
  std::string dns_servers;
};

// The identity of this machine (physical address, IPv4 addresses, DNS servers).
HostTexts CurrentHostTexts();

// `time` in local time as "yyyy/mm/dd hh:nn:ss" (24-hour clock).
std::string FormatConversionTime(std::chrono::system_clock::time_point time);

// The owner block: the two bold copyright lines (heading and `notice` in upper case), an
// empty line, the bold [OWNER INFORMATION] heading, the three headings each followed by
// its text, and the italic conversion time. One line: CR LF inside the texts become <br>.
Sjis BuildOwnerBlock(const HostTexts& host, std::string_view notice, std::chrono::system_clock::time_point now);

// The text of the copyright page holding `owner_block`, every line ended by CR LF.
Sjis CopyrightPageText(const Sjis& owner_block);

// Writes the copyright page whole to `path` (replacing any). Throws tavex::Error naming it.
void WriteCopyrightPage(const std::string& path, const Sjis& owner_block);

}  // namespace tavex::book
