#pragma once
// The English user-visible texts a ConnectionHelper starts with, and the Lits array of the
// provisioning members that a client may pass as it is.
#include "varnholt/SafeArray.h"
#include "varnholt/String.h"

namespace varnholt {

// Literals (1 To 34): the login prompt's captions (1 to 9), prompt titles (10, 13), the
// default user of a forced login (14) and the descriptions of the errors that quote a text.
SafeArray<String> DefaultLiterals();

// Lits (1 To 32): 31 is the caption of the provisioning members' login prompt, 32 the
// description of their refused login (10008); the others are empty.
SafeArray<String> DefaultLits();

}  // namespace varnholt
