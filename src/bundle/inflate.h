// Unpacking of one compressed record: a zlib-format stream (two-byte header, Adler-32
// trailer) inflated alone into a buffer of its declared size. Private to the bundle reader.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavex::bundle {

// Inflates `packed` into exactly `unpacked_size` bytes. Output the stream does not
// provide stays zero; output beyond that size is not produced. Throws tavex::Error with
// the decompressor's reason when the stream is corrupt or ends before it is complete.
std::string InflateRecord(std::string_view packed, std::size_t unpacked_size);

}  // namespace tavex::bundle
