// Code page 932 through glibc's iconv "CP932", which also applies the code page's
// best-fit mappings (U+301C to the full-width tilde, U+2014 to the horizontal bar).
// iconv stops at a character it cannot convert; the conversion then writes one
// replacement and resumes after that character, as the platform conversion did.
#include "text/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "text/error.h"

namespace tavex {

namespace {

constexpr const char* kCodePage = "CP932";
constexpr char kUtf8Replacement[] = "\xEF\xBF\xBD";

// One conversion descriptor per direction and thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw Error(std::string("cannot convert from ") + from + " to " + to + ": " +
                  SystemMessage(errno));
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `in`; at each sequence iconv rejects, appends `replacement` and skips the
  // number of bytes `skip` gives for the rejected position.
  template <typename Skip>
  std::string Convert(std::string_view in, std::string_view replacement, Skip skip) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.reserve(in.size() * 2 + 8);
    char buffer[4096];
    char* in_ptr = const_cast<char*>(in.data());
    std::size_t in_left = in.size();
    while (in_left > 0) {
      char* out_ptr = buffer;
      std::size_t out_left = sizeof buffer;
      std::size_t rc = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      int err = errno;
      out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (err == E2BIG) continue;
      if (err == EILSEQ || err == EINVAL) {
        out.append(replacement);
        std::size_t n = skip(std::string_view(in_ptr, in_left));
        in_ptr += n;
        in_left -= n;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        continue;
      }
      throw Error("cannot convert text to or from code page 932: " + SystemMessage(err));
    }
    return out;
  }

 private:
  iconv_t cd_;
};

Converter& ToSjisConverter() {
  thread_local Converter converter(kCodePage, "UTF-8");
  return converter;
}

Converter& FromSjisConverter() {
  thread_local Converter converter("UTF-8", kCodePage);
  return converter;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of the UTF-8 sequence at the start of `rest` (at least 1), counting only
// the continuation bytes that are there, so a broken sequence is skipped as one.
std::size_t Utf8SequenceLength(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  std::size_t want = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  std::size_t n = 1;
  while (n < want && n < rest.size() && IsContinuation(rest[n])) ++n;
  return n;
}

bool IsSjisTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// A rejected Shift_JIS position: a lead byte takes its trail byte with it.
std::size_t SjisSequenceLength(std::string_view rest) {
  if (rest.size() >= 2 && IsSjisLeadByte(static_cast<unsigned char>(rest[0])) &&
      IsSjisTrailByte(static_cast<unsigned char>(rest[1]))) {
    return 2;
  }
  return 1;
}

}  // namespace

Sjis ToSjis(std::string_view utf8) {
  return Sjis(ToSjisConverter().Convert(utf8, "?", Utf8SequenceLength));
}

SjisUnitEncoder& SjisUnitEncoder::ForThisThread() {
  thread_local SjisUnitEncoder encoder;
  return encoder;
}

std::uint32_t SjisUnitEncoder::Learn(char16_t unit) {
  const Sjis bytes = ToSjis(EncodeUnitUtf8(unit));
  if (bytes.empty() || bytes.size() > 2) return kAskAgain;  // never for code page 932
  const auto first = static_cast<unsigned char>(bytes.bytes[0]);
  const std::uint32_t known = bytes.size() == 1
                                  ? (1u << 16) | first
                                  : (2u << 16) | (first << 8) | static_cast<unsigned char>(bytes.bytes[1]);
  encoded_[unit] = known;
  return known;
}

void SjisUnitEncoder::AppendUnlearnt(char16_t unit, std::string& out) {
  const std::uint32_t known = Learn(unit);
  if (known == kAskAgain) {
    out += ToSjis(EncodeUnitUtf8(unit)).bytes;
  } else {
    AppendKnown(known, out);
  }
}

void AppendSjis(char16_t unit, std::string& out) { SjisUnitEncoder::ForThisThread().Append(unit, out); }

Sjis ToSjis(std::u16string_view utf16) {
  SjisUnitEncoder& encoder = SjisUnitEncoder::ForThisThread();
  std::string out;
  out.reserve(utf16.size() * 2);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (IsHighSurrogate(unit) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      out += '?';  // the code page has nothing beyond U+FFFF
      ++i;
      continue;
    }
    encoder.Append(unit, out);
  }
  return Sjis(std::move(out));
}

std::string SjisToUtf8(const Sjis& sjis) {
  return FromSjisConverter().Convert(sjis.bytes, kUtf8Replacement, SjisSequenceLength);
}

std::u16string SjisToUtf16(const Sjis& sjis) { return Utf8ToUtf16(SjisToUtf8(sjis)); }

bool IsJisX0208Assigned(int row, int cell) {
  constexpr int kCells = 94;
  static const std::vector<bool> assigned = [] {
    std::vector<bool> bits(kCells * kCells, false);
    Converter from_euc("UTF-8", "EUC-JP");
    for (int r = 0; r < kCells; ++r) {
      for (int c = 0; c < kCells; ++c) {
        const char euc[2] = {static_cast<char>(0xA1 + r), static_cast<char>(0xA1 + c)};
        // A code EUC-JP does not decode converts to nothing.
        bits[r * kCells + c] =
            !from_euc.Convert(std::string_view(euc, 2), "", [](std::string_view rest) { return rest.size(); })
                 .empty();
      }
    }
    return bits;
  }();
  if (row < 1 || row > kCells || cell < 1 || cell > kCells) return false;
  return assigned[(row - 1) * kCells + (cell - 1)];
}

bool IsSjisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool NeedsCharRef(char16_t unit) {
  // Answers are kept per code unit: the statistics ask about every character they meet.
  thread_local std::vector<signed char> known(0x10000, -1);
  signed char& answer = known[unit];
  if (answer < 0) {
    std::string utf8 = EncodeUnitUtf8(unit);
    answer = SjisToUtf8(ToSjis(utf8)) != utf8 ? 1 : 0;
  }
  return answer == 1;
}

}  // namespace tavex
