// A private copy of what the key searches of one subbook read: the catalogue, the index
// page and the search indexes' pages, in a plain text file of a temporary book. The
// searches run on a libeb reader of that copy, on their own thread, while another
// reader walks the book itself. libeb keeps one decompression cache for the whole
// process (file-level variables of its zio layer, guarded only in builds with threads
// enabled, which Debian's is not), so two readers of an ebzip-compressed book on two
// threads would read each other's pages; and a search over a compressed index would
// decompress the same slices again for every key. The copy is filled from the book
// reader's own reads, so the searches see exactly the bytes libeb gives for the book.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavex::verify {

class SearchView {
 public:
  // Makes the temporary book: `catalogs` is the book's catalogue as stored, `directory`
  // the subbook's folder as the catalogue names it, and the text file `file_bytes` long
  // (all zeros until pages are put). Throws tavex::Error naming the folder.
  SearchView(std::string_view catalogs, const std::string& directory, std::uint64_t file_bytes);
  // Removes the temporary book (only the names it made).
  ~SearchView();
  SearchView(const SearchView&) = delete;
  SearchView& operator=(const SearchView&) = delete;

  // Copies page `page` (from 1) of the text file. Throws tavex::Error.
  void Put(std::uint32_t page, std::string_view bytes);
  // The temporary book's folder, for libeb.
  const std::string& path() const { return path_; }

 private:
  void Remove();

  std::string path_;       // the temporary book
  std::string directory_;  // the subbook's folder in it
  int text_fd_ = -1;       // its text file
};

}  // namespace tavex::verify
