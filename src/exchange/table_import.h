// Reading exchange files into the rule tables: xsl_data.xml into `xsl`, char_data.xml
// into `char` and alt_data.xml into `alt`. Rows come from the row elements (`tags`,
// `chars`, `record`) found at any depth, in document order; each child element names
// the column its text fills. The database numbers the rows anew, so `index` children
// are skipped; in char_data.xml the character is rebuilt from `ws_code`.
#pragma once

#include <string>

#include "store/database.h"

namespace tavex::exchange {

// How an import ended when it raised no error.
enum class ImportStatus {
  kImported,     // every row element became a row
  kParseFailed,  // the file could not be read or parsed; nothing was added
};

// Appends the rows of the file to the existing table, inside the caller's transaction.
// A child element that names no column, a child that is not an element, or (for char)
// a `ws_code` that is not a decimal integer from 0 to 65535 throws Error naming the
// file, the row and the value; the caller's transaction then keeps nothing of it.
ImportStatus ImportXslXml(store::Connection& db, const std::string& path);
ImportStatus ImportCharXml(store::Connection& db, const std::string& path);
ImportStatus ImportAltXml(store::Connection& db, const std::string& path);

}  // namespace tavex::exchange
