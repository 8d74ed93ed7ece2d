// The texts of one data field of a bundle's records, such as the NAME of every
// recording, read from the index and the field's data file without unpacking any
// content: cheap enough to ask before a bundle is extracted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "bundle/bundle_config.h"

namespace tavex::bundle {

// The value of data field `field` ("NAME") of every record of the bundle, in record
// order, as the bytes stand in its data file. Throws tavex::Error naming the bundle and
// the file when the configuration, the index or the data file cannot be read, or when
// the bundle has no such data field.
std::vector<std::string> ReadTextField(const BundleLocation& where, std::string_view bundle_name,
                                       std::string_view field);

}  // namespace tavex::bundle
