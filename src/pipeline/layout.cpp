// The working layout: every folder and file of a conversion, derived from the workspace
// and the chosen source folder, and the creation of the folders a run needs at start.
#include "pipeline/layout.h"


#include "fs/files.h"
#include "fs/folder_swap.h"
#include "fs/manifest.h"

namespace tavex {
namespace {

// Folder paths are kept without a trailing "/" (the root stays "/").
std::string WithoutTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::string SourceDataFolder(const std::string& source_folder) {
  if (source_folder.empty()) return {};
  std::string folder = WithoutTrailingSlash(source_folder);
  // The user may pick the data folder itself or the disc's root above it.
  if (FolderExists(ResolveCaseInsensitive(folder, "fs.skn"))) return folder;
  return ResolveCaseInsensitive(folder, "tavex.data");
}

WorkingLayout DeriveWorkingLayout(const std::string& workspace, const std::string& source_folder,
                                  const std::string& database_field) {
  WorkingLayout l;
  l.workspace = WithoutTrailingSlash(workspace.empty() ? std::string(".") : workspace);
  l.source_folder = source_folder;
  l.source_data_folder = SourceDataFolder(source_folder);
  l.working_folder = JoinPath(l.workspace, "working_folder");
  l.lib_folder = JoinPath(l.workspace, "lib_folder");
  l.xsl_backup_folder = JoinPath(l.lib_folder, "xsl_backup_folder");
  l.unzip_folder = JoinPath(l.working_folder, "unzip_folder");
  // A database path the user gave counts only while that file still exists.
  l.database_file = !database_field.empty() && FileExists(database_field)
                        ? database_field
                        : JoinPath(l.working_folder, "TAVEX_data");
  l.main_stylesheet = JoinPath(l.working_folder, "epwing_dic.xsl");
  l.script_stylesheet = JoinPath(l.working_folder, "user_script.xsl");
  l.xsl_exchange = JoinPath(l.workspace, "xsl_data.xml");
  l.char_exchange = JoinPath(l.working_folder, "char_data.xml");
  l.alt_exchange = JoinPath(l.working_folder, "alt_data.xml");
  l.epwing_folder = JoinPath(l.workspace, "epwing");
  l.stardict_folder = JoinPath(l.workspace, "stardict");
  l.mdict_folder = JoinPath(l.workspace, "mdict");
  l.settings_file = JoinPath(l.workspace, "TAVEX_to_EPWING.ini");
  const std::string base_folder = JoinPath(l.workspace, "base_folder");
  return WithBaseFolder(std::move(l), base_folder);
}

WorkingLayout WithBaseFolder(WorkingLayout l, const std::string& base_folder) {
  l.base_folder = base_folder;
  l.us_pron_folder = JoinPath(l.base_folder, "us_pron");
  l.uk_pron_folder = JoinPath(l.base_folder, "uk_pron");
  l.book_html = JoinPath(l.base_folder, "html_EPW");
  l.copyright_page = JoinPath(l.base_folder, "copyright.html");
  l.gaiji_font_file = JoinPath(l.base_folder, "Gaiji.xml");
  l.gaiji_map_file = JoinPath(l.base_folder, "GaijiMap.xml");
  l.char_map_file = JoinPath(l.base_folder, "TAVEX.map");
  l.project_file = JoinPath(l.base_folder, "TAVEX.ebs");
  return l;
}

std::string CreateBaseFolderStaging(const WorkingLayout& layout) {
  return CreateStagingFolder(layout.base_folder);
}

void PutStagedBookInPlace(const WorkingLayout& layout, const std::string& staging) {
  SwapInFolder(staging, layout.base_folder);
}

void RecoverBaseFolder(const WorkingLayout& layout) {
  RecoverFolderSwap(layout.base_folder);
  RecoverFolderSwap(layout.working_folder);
}

std::vector<std::string> ProtectedFolders(const WorkingLayout& layout) {
  return {layout.workspace, layout.base_folder, layout.working_folder, layout.source_folder,
          layout.source_data_folder};
}

void CheckWorkingFolders(const WorkingLayout& layout) {
  for (const std::string* folder : {&layout.base_folder, &layout.working_folder, &layout.unzip_folder}) {
    RequireOwnFolder(*folder);
  }
}

void CreateWorkingFolders(const WorkingLayout& layout) {
  // Checked for all before the first folder is made, so a refused run leaves nothing behind.
  CheckWorkingFolders(layout);
  CreateFolders(layout.base_folder);
  CreateFolders(layout.working_folder);
  CreateFolders(layout.unzip_folder);
}

}  // namespace tavex
