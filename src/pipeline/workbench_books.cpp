// The books made from base_folder beside the EPWING book: StarDict and MDict, and the
// rules every book's folder is written by.
#include <fmt/format.h>

#include <filesystem>

#include "fs/folder_swap.h"
#include "fs/workspace_lock.h"
#include "pipeline/workbench.h"
#include "text/error.h"

namespace tavex {

std::unique_ptr<WorkspaceLock> Workbench::GuardBookFolder(const std::string& out,
                                                          const std::string& own_folder) const {
  // Every book folder has a lock of its own, the workspace's own too: another workspace
  // may have been told to build into it.
  if (out == own_folder) return WorkspaceLock::ForOutputFolder(out);
  // Replacing the book would replace part of its own source, or of the conversion.
  const auto real = [](const std::string& path) {
    std::error_code error;
    return std::filesystem::weakly_canonical(std::filesystem::absolute(path), error).string() + "/";
  };
  for (const std::string& folder : {layout_.base_folder, layout_.working_folder, layout_.source_folder}) {
    if (!folder.empty() && real(out) != real(folder) && real(out).starts_with(real(folder))) {
      throw Error(fmt::format(
          "cannot write the book into {}: it lies inside {}; choose an empty or new folder", out, folder));
    }
  }
  return WorkspaceLock::ForOutputFolder(out);
}

stardict::StardictSummary Workbench::BuildStardict(std::optional<std::string> out_folder) {
  const std::string out = out_folder.value_or(layout_.stardict_folder);
  const std::unique_ptr<WorkspaceLock> out_lock = GuardBookFolder(out, layout_.stardict_folder);
  return stardict::BuildStardictBook(
      {.base_folder = layout_.base_folder, .out_folder = out, .protected_folders = ProtectedFolders(layout_)},
      progress_);
}

mdict::MdictSummary Workbench::BuildMdict(std::optional<std::string> out_folder) {
  const std::string out = out_folder.value_or(layout_.mdict_folder);
  const std::unique_ptr<WorkspaceLock> out_lock = GuardBookFolder(out, layout_.mdict_folder);
  return mdict::BuildMdictBook(
      {.base_folder = layout_.base_folder, .out_folder = out, .protected_folders = ProtectedFolders(layout_)},
      progress_);
}

}  // namespace tavex
