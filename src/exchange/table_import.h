// Reading exchange files into the rule tables: xsl_data.xml into `xsl`, char_data.xml
// into `char` and alt_data.xml into `alt`. Rows come from the row elements (`tags`,
// `chars`, `record`) found at any depth, in document order; each child element names
// the column its text fills. The database numbers the rows anew, so `index` children
// are skipped; in char_data.xml the character is rebuilt from `ws_code`.
#pragma once

#include <string>

#include "store/database.h"

namespace tavex::exchange {

// Appends the rows of the file to the existing table, inside the caller's transaction.
// Throws Error naming the file, and the caller's transaction then keeps nothing of it,
// when the file cannot be read or does not parse (with the parser's line and message),
// when it holds no row element of the table (a file meant for another table would
// otherwise leave the table empty), when a child element names no column, when a child
// is not an element, or (for char) when a `ws_code` is not a decimal integer from 0 to
// 65535; the last three name the row and the value too.
void ImportXslXml(store::Connection& db, const std::string& path);
void ImportCharXml(store::Connection& db, const std::string& path);
void ImportAltXml(store::Connection& db, const std::string& path);

}  // namespace tavex::exchange
