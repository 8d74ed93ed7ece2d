#include "bundle/extract.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include <fmt/format.h>

#include "bundle/inflate.h"
#include "bundle/record_file.h"
#include "text/error.h"
#include "fs/files.h"
#include "store/database.h"
#include "store/tables.h"

namespace tavex::bundle {

namespace {

// A record may unpack to at most this many times its packed size (deflate's own limit
// is about 1032:1) and never beyond kMaxUnpackedSize, so that a corrupt catalogue
// cannot make the extraction take memory it should not.
constexpr std::uint64_t kMaxInflateRatio = 1032;
constexpr std::uint64_t kMaxUnpackedSize = 256ULL * 1024 * 1024;
constexpr std::size_t kCatalogueEntrySize = 8;
// The index and catalogue files are read whole, so their size is bounded before they are
// read: 64 MiB is millions of records, far beyond any disc. A data file other than the
// content (the titles) gives each record the bytes up to the next record's offset, so a
// record's share of it, and the file, may be at most as large as a record's content.
constexpr std::uint64_t kMaxWholeFileSize = 64ULL * 1024 * 1024;
constexpr std::uint64_t kMaxDataFileSize = kMaxUnpackedSize;
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

[[noreturn]] void Fail(std::string_view bundle_name, std::string_view what) {
  throw Error(fmt::format("bundle {}: {}", bundle_name, what));
}

// Runs `work`, giving any error it throws the bundle's name as context.
template <typename Work>
auto InBundle(std::string_view bundle_name, Work&& work) -> decltype(work()) {
  try {
    return work();
  } catch (const Error& error) {
    Fail(bundle_name, error.what());
  }
}

std::string BaseName(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

const FieldDeclaration* FindByName(const std::vector<FieldDeclaration>& list, std::string_view name) {
  for (const FieldDeclaration& declaration : list) {
    if (declaration.name == name) return &declaration;
  }
  return nullptr;
}

// The length of the valid UTF-8 sequence at `pos`, or 0 when the byte there starts none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[pos + k]);
    if ((next & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (next & 0x3Fu);
  }
  if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return 0;
  if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return 0;
  return length;
}

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

// The eight bytes at `pos` as one word, for testing them together.
std::uint64_t LoadWord(std::string_view bytes, std::size_t pos) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes.data() + pos, sizeof word);
  return word;
}

// The record's bytes as UTF-8 text: every byte that is not part of a valid sequence
// becomes U+FFFD, so that the database holds well-formed text. `replaced` tells whether
// that happened.
std::string DecodeUtf8(std::string_view bytes, bool& replaced) {
  std::string text;
  text.reserve(bytes.size());
  std::size_t run_start = 0;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // Entry text is mostly ASCII: pass over eight such bytes at a time.
    while (pos + 8 <= bytes.size() && (LoadWord(bytes, pos) & kHighBits) == 0) pos += 8;
    if (pos == bytes.size()) break;
    const std::size_t length = Utf8SequenceLength(bytes, pos);
    if (length > 0) {
      pos += length;
      continue;
    }
    text.append(bytes.substr(run_start, pos - run_start));
    text.append(kReplacementCharacter);
    replaced = true;
    run_start = ++pos;
  }
  text.append(bytes.substr(run_start));
  return text;
}

std::uint32_t LittleEndian32(std::string_view bytes, std::size_t pos) {
  return ReadUInt(bytes, pos, 4);
}

// Opens a file of the disc, refusing one larger than `limit` bytes before anything is read.
std::unique_ptr<RecordFile> OpenBounded(std::string_view bundle, const std::string& path,
                                        std::string_view what, std::uint64_t limit) {
  auto file = InBundle(bundle, [&] { return std::make_unique<RecordFile>(path); });
  if (file->size() > limit) {
    Fail(bundle, fmt::format("{} {} has {} bytes, more than the {} MiB such a file may have", what, path,
                             file->size(), limit >> 20));
  }
  return file;
}

// The whole of a file of the disc that is read at once (index, catalogue), bounded.
std::string ReadBounded(std::string_view bundle, const std::string& path, std::string_view what) {
  const auto file = OpenBounded(bundle, path, what, kMaxWholeFileSize);
  return InBundle(bundle, [&] { return file->ReadAt(0, static_cast<std::size_t>(file->size())); });
}

bool TableHasRows(store::Connection& db, const std::string& table) {
  store::Statement statement = db.Prepare(fmt::format("SELECT 1 FROM [{}] LIMIT 1", table));
  return statement.Step();
}

}  // namespace

std::uint32_t ReadUInt(std::string_view bytes, std::size_t& pos, int width) {
  if (width < 1 || width > 4) return 0;
  const auto count = static_cast<std::size_t>(width);
  if (pos > bytes.size() || count > bytes.size() - pos) {
    throw Error(fmt::format("cannot read {} bytes at offset {}: only {} bytes", count, pos, bytes.size()));
  }
  std::uint32_t value = 0;
  for (std::size_t k = 0; k < count; ++k) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[pos + k])) << (8 * k);
  }
  pos += count;
  return value;
}

void UnpackContent(const BundleConfig& config, Progress& progress) {
  const std::string& bundle = config.bundle_name;
  const FieldDeclaration* content = FindByName(config.fields, "$CONTENT");
  if (content == nullptr) return;
  // An unpacked content file is only ever complete (it is renamed into place when
  // whole), so an earlier extraction's file is used as it stands.
  if (FileExists(config.unpacked_path)) return;

  if (content->data_path.empty()) {
    Fail(bundle, fmt::format("{} has no [$CONTENT] section naming the content file", config.config_path));
  }
  const FieldDeclaration* catalogue_setting = FindByName(content->settings, "CATALOG");
  if (catalogue_setting == nullptr || catalogue_setting->value.empty()) {
    Fail(bundle, fmt::format("the [$CONTENT] section of {} names no CATALOG file", config.config_path));
  }
  const std::string content_path = BundleFilePath(config, content->data_path, "PATH of [$CONTENT]");
  const std::string catalogue_path =
      BundleFilePath(config, catalogue_setting->value, "CATALOG of [$CONTENT]");
  if (!FileExists(content_path)) Fail(bundle, fmt::format("content file {} not found", content_path));
  if (!FileExists(catalogue_path)) Fail(bundle, fmt::format("catalogue file {} not found", catalogue_path));

  const std::string catalogue = ReadBounded(bundle, catalogue_path, "catalogue file");
  const std::size_t entry_count = catalogue.size() / kCatalogueEntrySize;
  if (const std::size_t trailing = catalogue.size() % kCatalogueEntrySize; trailing != 0) {
    progress.Warn(fmt::format("bundle {}: catalogue file {} ends in {} bytes that make no whole entry; they are ignored",
                              bundle, catalogue_path, trailing));
  }
  if (entry_count > static_cast<std::size_t>(INT_MAX)) {
    Fail(bundle, fmt::format("catalogue file {} has too many entries", catalogue_path));
  }

  const auto content_file = InBundle(bundle, [&] { return std::make_unique<RecordFile>(content_path); });
  auto output = InBundle(bundle, [&] { return std::make_unique<TempFileWriter>(config.unpacked_path); });
  ProgressLoop loop(progress, static_cast<int>(entry_count), BaseName(content->data_path) + " unzipping");

  std::uint64_t packed_offset = 0;
  for (std::size_t k = 0; k < entry_count; ++k) {
    const std::uint64_t unpacked_size = LittleEndian32(catalogue, k * kCatalogueEntrySize);
    const std::uint64_t packed_size = LittleEndian32(catalogue, k * kCatalogueEntrySize + 4);
    if (unpacked_size > packed_size * kMaxInflateRatio || unpacked_size > kMaxUnpackedSize ||
        packed_size > kMaxUnpackedSize) {
      Fail(bundle,
           fmt::format("catalogue file {} declares {} unpacked bytes for record {} of {} packed bytes, "
                       "but a record unpacks to at most 1032 times its packed size and 256 MiB "
                       "(and is at most 256 MiB packed)",
                       catalogue_path, unpacked_size, k, packed_size));
    }
    if (packed_offset + packed_size > content_file->size()) {
      Fail(bundle, fmt::format("record {} reaches past the end of content file {} (bytes {} to {} of {})", k,
                               content_path, packed_offset, packed_offset + packed_size, content_file->size()));
    }
    const std::string packed = InBundle(bundle, [&] {
      return content_file->ReadAt(packed_offset, static_cast<std::size_t>(packed_size));
    });
    packed_offset += packed_size;
    std::string unpacked;
    try {
      unpacked = InflateRecord(packed, static_cast<std::size_t>(unpacked_size));
    } catch (const Error& error) {
      Fail(bundle, fmt::format("record {} of content file {} is not a valid zlib stream: {}", k, content_path,
                               error.what()));
    }
    InBundle(bundle, [&] { output->Write(unpacked); });
    loop.Step();
  }
  InBundle(bundle, [&] { output->Commit(); });
}

IndexColumns ReadIndex(const BundleConfig& config, Progress& progress) {
  const std::string& bundle = config.bundle_name;
  if (config.index_path.empty()) {
    Fail(bundle, fmt::format("{} has no DAT section naming the index file", config.config_path));
  }
  const std::string index_path = BundleFilePath(config, config.index_path, "PATH of [DAT]");
  if (!FileExists(index_path)) Fail(bundle, fmt::format("index file {} not found", index_path));

  IndexColumns index;
  int offset = 0;
  for (const FieldDeclaration& field : config.fields) {
    if (field.width < 0) {
      Fail(bundle, fmt::format("field {} of {} has the unknown type \"{}\" (known: UBYTE, USHORT, U24, ULONG)",
                               field.name, config.config_path, field.type));
    }
    if (!field.name.empty() && field.name.front() == '$') {
      IndexColumn column;
      column.name = field.name.substr(1);
      column.width = field.width;
      column.offset = offset;
      column.reference = field.value == "DATA";
      if (column.reference) column.data_path = field.data_path;
      index.columns.push_back(std::move(column));
    }
    offset += field.width;
  }
  if (index.columns.empty()) return index;
  if (config.record_size <= 0) Fail(bundle, fmt::format("{} declares records of no size", config.config_path));

  const std::string bytes = ReadBounded(bundle, index_path, "index file");
  const auto record_size = static_cast<std::size_t>(config.record_size);
  const std::size_t count = bytes.size() / record_size;
  if (const std::size_t trailing = bytes.size() % record_size; trailing != 0) {
    progress.Warn(fmt::format("bundle {}: index file {} ends in {} bytes that make no whole record of {} bytes; "
                              "they are ignored",
                              bundle, index_path, trailing, record_size));
  }
  if (count > static_cast<std::size_t>(INT_MAX)) Fail(bundle, fmt::format("index file {} has too many records", index_path));

  for (IndexColumn& column : index.columns) {
    column.values.reserve(count);
    for (std::size_t r = 0; r < count; ++r) {
      std::size_t pos = r * record_size + static_cast<std::size_t>(column.offset);
      column.values.push_back(ReadUInt(bytes, pos, column.width));
    }
  }
  index.record_count = static_cast<std::int64_t>(count);
  return index;
}

std::string BundleColumnList(const BundleConfig& config) {
  std::string joined;
  for (const FieldDeclaration& field : config.fields) {
    if (field.name.empty() || field.name.front() != '$') continue;
    const std::string column = field.name.substr(1);
    std::string piece;
    if (field.value != "DATA") {
      piece = fmt::format(" [{}] int,", column);
    } else if (column != "CONTENT") {
      piece = fmt::format(" [{}] varchar(255),", column);
    } else {
      piece = fmt::format(" [{0}] longbinary, [{0}_text] longtext,", column);
    }
    joined += " " + piece;
  }
  const std::size_t first = joined.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return joined.substr(first, joined.find_last_not_of(' ') - first + 1);
}

bool CreateBundleTable(store::Connection& db, const BundleConfig& config) {
  const std::string columns = BundleColumnList(config);
  if (columns.empty()) return false;
  const std::string table = store::BundleTableName(config.bundle_name);
  if (db.TableExists(table)) return false;
  db.Exec(store::FormatTableSql(store::kBundleTableSql, table, columns));
  return true;
}

std::int64_t FillBundleTable(store::Connection& db, BundleConfig& config, Progress& progress) {
  const std::string& bundle = config.bundle_name;
  const IndexColumns index = ReadIndex(config, progress);
  config.record_count = index.record_count;
  const std::string table = store::BundleTableName(bundle);

  // The file of each reference column: CONTENT points into the unpacked content file,
  // every other data field into its own file as stored on the disc.
  std::vector<std::unique_ptr<RecordFile>> files(index.columns.size());
  for (std::size_t c = 0; c < index.columns.size(); ++c) {
    const IndexColumn& column = index.columns[c];
    if (!column.reference) continue;
    if (column.name == "CONTENT") {
      files[c] = InBundle(bundle, [&] { return std::make_unique<RecordFile>(config.unpacked_path); });
    } else if (column.data_path.empty()) {
      Fail(bundle, fmt::format("{} has no [${}] section naming the data file of field ${}", config.config_path,
                               column.name, column.name));
    } else {
      const std::string path =
          BundleFilePath(config, column.data_path, fmt::format("PATH of [${}]", column.name));
      files[c] = OpenBounded(bundle, path, "data file", kMaxDataFileSize);
    }
  }

  store::Appender appender(db, table);
  ProgressLoop loop(progress, static_cast<int>(index.record_count), bundle + "抽出中");
  std::vector<std::int64_t> replaced_counts(index.columns.size(), 0);
  const auto count = static_cast<std::size_t>(index.record_count);
  for (std::size_t i = 0; i < count; ++i) {
    appender.AddNew();
    appender.SetInt("index", static_cast<std::int64_t>(i));
    for (std::size_t c = 0; c < index.columns.size(); ++c) {
      const IndexColumn& column = index.columns[c];
      if (!column.reference) {
        appender.SetInt(column.name, column.values[i]);
        continue;
      }
      // A record's bytes run from its offset to the next record's, the last to the end.
      const RecordFile& file = *files[c];
      const std::uint64_t start = column.values[i];
      const std::uint64_t end = i + 1 < count ? column.values[i + 1] : file.size();
      if (start > file.size() || end > file.size()) {
        Fail(bundle, fmt::format("record {} points past the end of {} (offset {}, the file has {} bytes)", i,
                                 file.path(), std::max(start, end), file.size()));
      }
      if (end < start) {
        Fail(bundle, fmt::format("record {}: the offsets into {} descend ({} then {})", i, file.path(), start, end));
      }
      const std::string bytes =
          InBundle(bundle, [&] { return file.ReadAt(start, static_cast<std::size_t>(end - start)); });
      bool replaced = false;
      if (column.name == "CONTENT") {
        if (bytes.empty()) continue;  // no bytes: the row keeps no content
        if (bytes.front() == '<') {
          appender.SetText("CONTENT_text", DecodeUtf8(bytes, replaced));
        } else {
          appender.SetBlob("CONTENT", bytes);
        }
      } else {
        appender.SetText(column.name, DecodeUtf8(bytes, replaced));
      }
      if (replaced) ++replaced_counts[c];
    }
    try {
      appender.Update();
    } catch (const Error& error) {
      Fail(bundle, fmt::format("cannot append record {} to table {}: {}", i, table, error.what()));
    }
    loop.Step();
  }

  for (std::size_t c = 0; c < index.columns.size(); ++c) {
    if (replaced_counts[c] == 0) continue;
    progress.Warn(fmt::format("bundle {}: {} records hold bytes in {} that are not UTF-8; each such byte was "
                              "stored as U+FFFD",
                              bundle, replaced_counts[c], index.columns[c].name));
  }
  return index.record_count;
}

std::int64_t ExtractBundle(const ExtractOptions& options, std::string_view bundle_name, Progress& progress) {
  BundleConfig config = ParseBundleConfig({options.source_data_folder, options.unzip_folder}, bundle_name);
  const std::string& bundle = config.bundle_name;
  if (BundleColumnList(config).empty()) {
    Fail(bundle, fmt::format("{} declares no record fields (a DAT section with \"$\" fields), so there is "
                             "nothing to extract",
                             config.config_path));
  }
  for (const FieldDeclaration& field : config.fields) {
    if (field.name.starts_with('$') &&
        (field.name.size() == 1 || field.name.find_first_of("[]") != std::string::npos)) {
      Fail(bundle, fmt::format("{} declares the field \"{}\", which cannot name a column", config.config_path,
                               field.name));
    }
  }

  const std::string table = store::BundleTableName(bundle);
  store::Connection db = InBundle(bundle, [&] { return store::Connection(options.database_file); });
  if (db.TableExists(table) && TableHasRows(db, table)) {
    throw Error(fmt::format("table {} already holds rows: bundle {} was extracted before; remove the table or "
                            "start from a new working database to extract it again",
                            table, bundle));
  }

  UnpackContent(config, progress);

  // Created and filled together: an error rolls both back, so no table is left that a
  // resumed run would take as done.
  store::Transaction transaction(db);
  CreateBundleTable(db, config);
  const std::int64_t rows = FillBundleTable(db, config, progress);
  transaction.Commit();
  return rows;
}

}  // namespace tavex::bundle
