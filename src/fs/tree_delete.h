// Deleting a tree the program made, by its manifests and through handles. The whole tree
// is compared with its manifests first; then only listed names are removed, deepest
// first, each with unlinkat relative to its folder's handle, a folder's manifest last of
// its entries and the folder right after it. A run killed in between leaves a listed,
// empty folder without a manifest, which the next run recognises by its parent's listing
// (or by its stand-in's record) and removes.
#pragma once

#include <string>

namespace tavex {

// Deletes the folder `name` inside the folder open as `parent_fd` (the folder `parent`).
// `known_bare` says the folder is known to be ours although it may have no manifest (a
// stand-in whose record says so): then it is removed when empty. A link at the name is
// removed as a link. Throws Error naming what its manifests do not list, before the first
// change.
void DeleteTreeAt(int parent_fd, const std::string& parent, const std::string& name, bool known_bare);

}  // namespace tavex
