#pragma once
// The user-visible texts the tool hands the component: the Literals array (1 to 34) and the
// separate Lits array of the provisioning members, the library's English ones by default,
// replaceable line by line from a file.
#include <string>

#include "varnholt/SafeArray.h"
#include "varnholt/String.h"

namespace varnholt::cli {

struct Texts {
    SafeArray<String> Literals;  // subscripts from 1
    SafeArray<String> Lits;      // subscripts from 1; 31 and 32 are read
};

// The library's English texts.
Texts DefaultTexts();

// Replaces entries from a file of lines "N<TAB>text" (Literals) or "PN<TAB>text" (Lits);
// blank lines and lines starting with '#' are skipped. A subscript beyond the defaults extends
// the array. Throws std::runtime_error naming the file and line for anything else.
void LoadTexts(const std::string& path, Texts& texts);

}  // namespace varnholt::cli
