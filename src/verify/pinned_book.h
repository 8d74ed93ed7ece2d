// The book as libeb is given it. libeb opens the catalogue, the text file, the fonts and
// the appendix by name, whenever it needs them, and it trusts what it opens: a FIFO put
// in the place of a file it opens later hangs it. So libeb never sees the book's own
// folder: it gets a private temporary folder that repeats the book's folders to the
// depth where libeb opens files, in which every file is a link to /proc/self/fd/N of a
// handle that was opened once, looked at (a regular file inside the book, not mostly
// holes) and is kept open. Through those links libeb opens exactly the files that were
// looked at, however the book's folder is changed meanwhile.
#pragma once

#include <string>
#include <vector>

namespace tavex::verify {

class PinnedBook {
 public:
  // Pins the book in `book` (a folder). What cannot be pinned goes to `unsafe` as
  // "path: what is wrong", and then nothing is made.
  PinnedBook(const std::string& book, std::vector<std::string>& unsafe);
  // Removes the temporary folder (the names it made) and closes the handles.
  ~PinnedBook();
  PinnedBook(const PinnedBook&) = delete;
  PinnedBook& operator=(const PinnedBook&) = delete;

  // The folder to give libeb; empty when the book could not be pinned.
  const std::string& path() const { return path_; }

 private:
  void Remove();

  std::string path_;
  std::vector<int> handles_;       // the pinned files
  std::vector<std::string> made_;  // names made below path_, parents first
};

}  // namespace tavex::verify
