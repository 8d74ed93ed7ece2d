// The files of a book folder as libeb would meet them. libeb opens the catalogue, the
// text file and the fonts by name, matching any letter case and the suffixes "." and
// ";1" of CD-ROM file systems, and it trusts what it opens: a FIFO or a device hangs it,
// and a link can lead it out of the book. So before libeb opens anything, every entry of
// the book's folders is looked at without following links.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavex::verify {

// What the look at a book folder found.
struct BookFiles {
  std::vector<std::string> unsafe;  // "path: what is wrong", one per entry libeb must not open
  std::uint64_t disk_bytes = 0;     // bytes the book's regular files take on the disk
  bool compressed = false;          // a file is ebzip-compressed ("HONMON.ebz")
};

// Looks at every entry of `book` and its folders (links are not followed): each must be a
// regular file that is not mostly holes, or a folder, and a link must stay inside the
// book and lead to one of those. Bounded in depth and entries, so any folder is looked at quickly.
BookFiles LookAtBookFiles(const std::string& book);

// Whether a subbook's folder name from the catalogue names a folder inside the book: one
// plain name, not "." or "..".
bool IsPlainFolderName(const std::string& name);

}  // namespace tavex::verify
