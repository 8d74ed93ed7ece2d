// The book's appendix: a small folder that tells the readers built on libeb (eblook
// among them) which character each gaiji stands for, so that they print "café" and "ʃ"
// instead of a gaiji code. libeb reads it beside the book (`eblook BOOK APPENDIX`): a
// catalogue naming the subbook's folder, and in it DATA/FUROKU, whose first page says
// where the narrow and the wide gaiji's texts lie, followed by one 32-byte text for each
// code of each font, in code order. The texts are UTF-8: eblook passes them through as
// they are, and every terminal it runs in today shows UTF-8.
#pragma once

#include <string>

#include "source/gaiji_map.h"

namespace tavex::epwing {

// The appendix folder's name inside the book's folder.
inline constexpr char kAppendixFolder[] = "appendix";

// The bytes of DATA/FUROKU for `gaiji`: a code without a character (or one whose UTF-8
// would not fit in 31 bytes) gets an empty text, which libeb gives as such.
std::string FurokuBytes(const source::GaijiSet& gaiji);

// Writes the appendix of the book with `catalogs` (the book's catalogue, whose subbook
// folder the appendix repeats) into the new folder `folder`, through the write layer.
void WriteAppendix(const std::string& folder, const std::string& catalogs, const source::GaijiSet& gaiji);

}  // namespace tavex::epwing
