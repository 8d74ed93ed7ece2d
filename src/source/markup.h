// The markup of the book source's text: the entities and numeric references it writes
// characters with, and the attributes of its tags. Shared by every book made from it.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

namespace tavex::source {

// Decodes the entity at the start of `text` ("&nbsp;", "&#xE9;", "&#233;", "&amp;" …):
// the character and the entity's length, or no value when it is not one.
std::optional<std::pair<char32_t, std::size_t>> DecodeEntity(std::string_view text);

// The value of attribute `name` (ASCII case ignored) in the tag text after its name, or none.
std::optional<std::string_view> TagAttribute(std::string_view attributes, std::string_view name);

}  // namespace tavex::source
