// Fuzzes the reading of the exchange files into the rule tables. The input's first byte
// chooses the file kind (xsl, char or alt); the rest is the file. Each import runs in a
// transaction that is rolled back, so the tables stay empty between inputs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "exchange/table_import.h"
#include "fuzz_support.h"
#include "text/error.h"
#include "store/database.h"
#include "store/tables.h"

namespace {

struct Scratch {
  std::string exchange_file;
  std::unique_ptr<tavex::store::Connection> db;
};

Scratch& Setup() {
  static Scratch scratch = [] {
    Scratch s;
    const std::string& folder = tavex::fuzz::ScratchFolder();
    s.exchange_file = folder + "/exchange.xml";
    const std::string db_path = folder + "/TAVEX_data";
    tavex::store::CreateDatabase(db_path);
    s.db = std::make_unique<tavex::store::Connection>(db_path);
    tavex::store::CreateXslTable(*s.db);
    tavex::store::CreateCharTable(*s.db);
    tavex::store::CreateAltTable(*s.db);
    return s;
  }();
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Scratch& scratch = Setup();
  tavex::fuzz::WriteBytes(scratch.exchange_file, std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  tavex::store::Transaction transaction(*scratch.db);
  try {
    switch (data[0] % 3) {
      case 0: tavex::exchange::ImportXslXml(*scratch.db, scratch.exchange_file); break;
      case 1: tavex::exchange::ImportCharXml(*scratch.db, scratch.exchange_file); break;
      default: tavex::exchange::ImportAltXml(*scratch.db, scratch.exchange_file); break;
    }
  } catch (const tavex::Error&) {
  }
  return 0;
}
