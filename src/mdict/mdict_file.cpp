// The blocks, tables and checksums of an MDict file.
#include "mdict/mdict_file.h"

#include <fmt/format.h>
#include <zlib.h>

#include <cerrno>

#include "fs/write_layer.h"
#include "text/error.h"
#include "text/text.h"

namespace tavex::mdict {
namespace {

// Uncompressed bytes per block: readers inflate one block to find a key or a record.
constexpr std::size_t kKeyBlockBytes = 32 << 10;
constexpr std::size_t kRecordBlockBytes = 64 << 10;

void PutBe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t Adler(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      adler32_z(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

// A block as MDict stores it: the zlib type word, the adler32 of the plain bytes, the
// zlib stream. The stream ends with that same checksum, big-endian, as zlib computed it
// while compressing: it is copied rather than computed a second time.
std::string Block(std::string_view plain) {
  uLongf size = compressBound(plain.size());
  std::string block(8 + size, '\0');
  block[0] = '\x02';
  if (compress2(reinterpret_cast<Bytef*>(block.data() + 8), &size,
                reinterpret_cast<const Bytef*>(plain.data()), plain.size(), Z_BEST_SPEED) != Z_OK) {
    throw Error("cannot compress an MDict block: out of memory");
  }
  block.resize(8 + size);
  block.replace(4, 4, block, block.size() - 4, 4);
  return block;
}

// A block stored as it is (type word 0), behind the adler32 of its bytes: for records
// that do not compress, such as recordings of speech.
std::string StoredBlock(std::string_view plain) {
  std::string block(4, '\0');
  PutBe(block, Adler(plain), 4);
  block.append(plain);
  return block;
}

std::string Utf16Le(std::string_view utf8) {
  std::string out;
  for (char16_t unit : Utf8ToUtf16(utf8)) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

// A key's text for the table of key blocks: its length in code units, then the text
// with its terminator.
void PutTableKey(std::string& out, std::string_view stored, bool utf16) {
  const std::size_t units = utf16 ? stored.size() / 2 : stored.size();
  if (units > 0xFFFF) throw Error("an MDict key is longer than 65535 characters");
  PutBe(out, units, 2);
  out.append(stored);
  out.append(utf16 ? 2 : 1, '\0');
}

bool Stripped(unsigned char c) {
  return c < 0x80 && !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
}

}  // namespace

bool KeyLess(std::string_view a, std::string_view b) { return CompareKeys(a, b) < 0; }

int CompareKeys(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && Stripped(static_cast<unsigned char>(a[i]))) ++i;
    while (j < b.size() && Stripped(static_cast<unsigned char>(b[j]))) ++j;
    if (i == a.size() || j == b.size()) break;
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    const int ca = lower(static_cast<unsigned char>(a[i++]));
    const int cb = lower(static_cast<unsigned char>(b[j++]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  const bool a_done = i == a.size(), b_done = j == b.size();
  if (a_done != b_done) return a_done ? -1 : 1;
  return a.compare(b);
}

MdictFile::MdictFile(bool utf16_keys, std::string side_path)
    : utf16_(utf16_keys), side_path_(std::move(side_path)) {
  side_ = OpenFileStream(side_path_);
  compressing_ = std::make_unique<QueueThread<std::string>>(
      [this](std::string& plain) { WriteRecordBlock(plain); }, [](const std::string& plain) { return plain.size(); },
      8 * kRecordBlockBytes);
}

MdictFile::~MdictFile() {
  compressing_.reset();  // before the side file it writes
  if (side_ != nullptr) std::fclose(side_);
}

void MdictFile::Add(std::string_view key, std::string_view record) {
  const std::string stored = utf16_ ? Utf16Le(key) : std::string(key);
  if (keys_count_ == 0) first_key_ = stored;
  last_key_ = stored;
  PutBe(keys_, record_offset_, 8);
  keys_.append(stored);
  keys_.append(utf16_ ? 2 : 1, '\0');
  ++keys_count_;
  ++entries_;
  records_.append(record);
  record_offset_ += record.size();
  if (keys_.size() >= kKeyBlockBytes) FlushKeys();
  if (records_.size() >= kRecordBlockBytes) FlushRecords();
}

void MdictFile::FlushKeys() {
  if (keys_count_ == 0) return;
  const std::string block = Block(keys_);
  PutBe(key_table_, keys_count_, 8);
  PutTableKey(key_table_, first_key_, utf16_);
  PutTableKey(key_table_, last_key_, utf16_);
  PutBe(key_table_, block.size(), 8);
  PutBe(key_table_, keys_.size(), 8);
  key_blocks_ += block;
  ++key_block_count_;
  keys_.clear();
  keys_count_ = 0;
}

// A record never spans two blocks: readers find a record's end in its own block.
void MdictFile::FlushRecords() {
  if (records_.empty()) return;
  compressing_->Add(std::move(records_));
  records_.clear();
  records_.reserve(kRecordBlockBytes);
}

// Recordings are MP3, which zlib shrinks by a percent or two at the cost of more time
// than the rest of the book takes: a block that does not shrink by a sixteenth is stored
// as it is, and so are the next ones without trying, until every 32nd tries again.
void MdictFile::WriteRecordBlock(const std::string& plain) {
  std::string block;
  if (stored_without_trying_ > 0) {
    --stored_without_trying_;
    block = StoredBlock(plain);
  } else {
    block = Block(plain);
    if (block.size() - 8 > plain.size() - plain.size() / 16) {
      block = StoredBlock(plain);
      stored_without_trying_ = 31;
    }
  }
  if (std::fwrite(block.data(), 1, block.size(), side_) != block.size()) {
    const int err = errno;
    throw Error(fmt::format("cannot write {}: {}", side_path_, SystemMessage(err)));
  }
  PutBe(record_table_, block.size(), 8);
  PutBe(record_table_, plain.size(), 8);
  record_blocks_size_ += block.size();
}

void MdictFile::Finish(const std::string& path, const std::string& header_xml) {
  FlushKeys();
  FlushRecords();
  compressing_->Finish();
  NewFile file(path, NewFile::Placing::kInPlace);
  std::string head;
  const std::string header = Utf16Le(header_xml + "\r\n") + std::string(2, '\0');
  PutBe(head, header.size(), 4);
  head += header;
  const std::uint32_t header_sum = Adler(header);
  for (int i = 0; i < 4; ++i) head.push_back(static_cast<char>((header_sum >> (8 * i)) & 0xFF));

  const std::string key_table = Block(key_table_);
  std::string counts;
  PutBe(counts, key_block_count_, 8);
  PutBe(counts, entries_, 8);
  PutBe(counts, key_table_.size(), 8);
  PutBe(counts, key_table.size(), 8);
  PutBe(counts, key_blocks_.size(), 8);
  head += counts;
  PutBe(head, Adler(counts), 4);
  head += key_table;
  file.Write(head);
  file.Write(key_blocks_);

  std::string records_head;
  PutBe(records_head, record_table_.size() / 16, 8);
  PutBe(records_head, entries_, 8);
  PutBe(records_head, record_table_.size(), 8);
  PutBe(records_head, record_blocks_size_, 8);
  records_head += record_table_;
  file.Write(records_head);
  AppendStream(file, side_, side_path_);
  file.Commit();
  std::fclose(side_);
  side_ = nullptr;
  RemoveFile(side_path_);
}

}  // namespace tavex::mdict
