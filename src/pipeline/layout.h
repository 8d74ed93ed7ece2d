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
// it was. The book moves through three names beside base_folder, each a folder that
// carries the swap mark (fs/folder_swap.h):
//   base_folder.new    being written; a leftover one is from a run that did not finish
//   base_folder.ready  complete, about to replace base_folder
//   base_folder.old    the previous book, being removed
// Each move is one rename, so after a crash at any point one of the names holds a whole
// book, and RecoverBaseFolder finishes what the crash left. A folder of one of these
// names that the program did not make stops the run with an error naming it.

// The folder a mode 0 run writes its book into.
std::string StagingFolder(const WorkingLayout& layout);

// The layout with base_folder (and every path inside it) moved to `base_folder`.
WorkingLayout WithBaseFolder(WorkingLayout layout, const std::string& base_folder);

// Makes the marked, empty staging folder after checking that base_folder can be
// replaced; a marked leftover of a killed run goes first. Throws tavex::Error naming the
// folder at fault, before anything is touched.
void CreateBaseFolderStaging(const WorkingLayout& layout);

// Puts the complete book in StagingFolder in place of base_folder and removes the
// previous book. Throws tavex::Error naming the folder when a rename fails.
void PutStagedBookInPlace(const WorkingLayout& layout);

// Finishes a replacement of base_folder that a crash interrupted, from marked folders
// only: a complete book waiting under its "ready" name is put in place, and a previous
// book left under its "old" name is removed. A staging folder is left alone (a run may
// be writing it).
void RecoverBaseFolder(const WorkingLayout& layout);

// Gives manifests to base_folder (and a swap's ready or old folder of it), working_folder
// and lib_folder as an earlier version of the program left them, without manifests: only
// a folder whose every entry is one of the layout's names with the layout's type (a
// file, a folder, a WAV file in a pronunciation folder). Any other folder of those names
// stays without one, so the program never deletes or replaces it.
void AdoptEarlierWorkspace(const WorkingLayout& layout);

// Folders that an output folder may neither be nor hold: the workspace, base_folder,
// working_folder and the source disc.
std::vector<std::string> ProtectedFolders(const WorkingLayout& layout);

}  // namespace tavex
