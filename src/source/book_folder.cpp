// The staging, check and swap around a book's writing.
#include "source/book_folder.h"

#include <fmt/format.h>

#include <filesystem>

#include "fs/files.h"
#include "fs/folder_swap.h"
#include "fs/write_layer.h"
#include "text/error.h"

namespace tavex::source {

void WriteBookFolder(const std::string& out_folder, const std::vector<std::string>& protected_folders,
                     const std::function<void(const std::string& staging)>& write) {
  std::string out = out_folder;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  // No link below the book's folder is followed while it is written.
  const WriteAnchor anchor(std::filesystem::path(out).parent_path().string());
  // What a killed build left beside the folder (recorded stand-ins only), then the rules
  // for the folder the book replaces: all checked before anything is written.
  RecoverFolderSwap(out);
  CheckOutputFolder(out, protected_folders);
  const std::string staging = CreateStagingFolder(out);
  try {
    write(staging);
    SwapInFolder(staging, out);
  } catch (...) {
    RemoveStagingFolder(staging);  // the build's own error is the one to report
    throw;
  }
}

void WriteBookFrom(const BookOptions& options, const std::function<void(const std::string& staging)>& write) {
  if (!FolderExists(options.base_folder))
    throw Error(fmt::format("missing book source folder {}", options.base_folder));
  WriteBookFolder(options.out_folder, options.protected_folders, write);
}

}  // namespace tavex::source
