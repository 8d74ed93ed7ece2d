// Where everything lives. The workspace folder (the command line's --workspace, the
// current directory by default) holds the settings, the rules and every folder below.
// Folder paths carry no trailing "/"; joins use "/".
#pragma once

#include <string>
#include <vector>

namespace tavex {

struct WorkingLayout {
  std::string workspace;           // settings file, xsl_data.xml, the folders below
  std::string source_folder;       // the folder the user chose (the source field)
  std::string source_data_folder;  // where the bundles are: the source folder or its tavex.data
  std::string base_folder;         // the book's output
  std::string working_folder;      // intermediate files
  std::string lib_folder;
  std::string xsl_backup_folder;
  std::string unzip_folder;        // unpacked content files
  // The working database as the user knows it (shown, remembered in the settings); the
  // Workbench alone opens it, through the folder it checked.
  std::string database_file;
  std::string us_pron_folder;
  std::string uk_pron_folder;
  std::string book_html;           // base_folder/html_EPW
  std::string main_stylesheet;     // working_folder/epwing_dic.xsl
  std::string script_stylesheet;   // working_folder/user_script.xsl
  std::string xsl_exchange;        // workspace/xsl_data.xml
  std::string char_exchange;       // working_folder/char_data.xml
  std::string alt_exchange;        // working_folder/alt_data.xml
  std::string copyright_page;      // base_folder/copyright.html
  std::string gaiji_font_file;     // base_folder/Gaiji.xml
  std::string gaiji_map_file;      // base_folder/GaijiMap.xml
  std::string char_map_file;       // base_folder/TAVEX.map
  std::string project_file;        // base_folder/TAVEX.ebs
  std::string settings_file;       // workspace/TAVEX_to_EPWING.ini
  std::string epwing_folder;       // workspace/epwing: the EPWING book built from base_folder
  std::string stardict_folder;     // workspace/stardict: the StarDict book
  std::string mdict_folder;        // workspace/mdict: the MDict book
};

// The source data folder for a chosen source folder: the folder itself when it already
// holds the bundles (fs.skn, any letter case), else its tavex.data subfolder (any letter
// case); empty for an empty source.
std::string SourceDataFolder(const std::string& source_folder);

// Derives every path. `database_field` is the database path the user gave ("mdb :"):
// used when it names an existing file, else working_folder/TAVEX_data. Creates nothing.
WorkingLayout DeriveWorkingLayout(const std::string& workspace, const std::string& source_folder,
                                  const std::string& database_field);

// Throws Error (RequireOwnFolder) when base_folder, working_folder or unzip_folder is
// somebody else's: the checks of every command that writes into them.
void CheckWorkingFolders(const WorkingLayout& layout);

// Creates base_folder, working_folder and unzip_folder when missing. Throws Error
// (RequireOwnFolder) before making anything when one of them is somebody else's. The
// working database is made by the Workbench, through its checked folder.
void CreateWorkingFolders(const WorkingLayout& layout);

// A run in operating mode 0 writes its book beside the previous one and puts it in place
// only when the run has succeeded, so a failed or killed run leaves the previous book as
// it was. The book is written into a stand-in of base_folder (fs: a hidden name nobody
// chooses, recognised by its record), and one exchange of names puts it in place; the
// next run finishes or removes whatever a kill left. A folder of the layout's names
// without this program's manifest is never adopted: it is the user's, and a command
// that would write into it or replace it stops first, naming it.

// The layout with base_folder (and every path inside it) moved to `base_folder`.
WorkingLayout WithBaseFolder(WorkingLayout layout, const std::string& base_folder);

// Makes the empty staging folder of a mode 0 run after checking that base_folder can be
// replaced, and returns its path. Throws tavex::Error naming the folder at fault, before
// anything is touched.
std::string CreateBaseFolderStaging(const WorkingLayout& layout);

// Puts the complete book in `staging` in place of base_folder and removes the previous
// book. Throws tavex::Error naming the folder when that fails.
void PutStagedBookInPlace(const WorkingLayout& layout, const std::string& staging);

// Finishes what a killed run left beside base_folder and working_folder: a previous
// book moved aside comes back when nothing replaced it, and every other stand-in goes.
void RecoverBaseFolder(const WorkingLayout& layout);

// Folders that an output folder may neither be nor hold: the workspace, base_folder,
// working_folder and the source disc.
std::vector<std::string> ProtectedFolders(const WorkingLayout& layout);

}  // namespace tavex
