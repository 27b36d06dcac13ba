#include "varnholt/DefaultTexts.h"

#include <iterator>
#include <vector>

namespace varnholt {
namespace {

// Subscripts 1 to 9 carry the login dialog's design texts; 17 and 19 to 23 are read by nobody.
const char16_t* const kLiterals[] = {
    u"Login", u"@Specify the login information,", u"Enter the login name and password.", u"Password", u"Server",
    u"User Name", u"", u"OK", u"Cancel",
    u"Log in to find the database name",       // 10
    u"No dictionary folder was given.",        // 11
    u"There are no data files (*.DAT) in",     // 12 + folder
    u"Log in to create the database name on",  // 13 + server
    u"Beta",                                   // 14
    u"The dictionary file",                    // 15 + file
    u"is missing from the master folder.",     // 16
    u"",                                       // 17
    u"could not be written.",                  // 18
    // 19 to 23
    u"", u"", u"", u"", u"",
    u"There is no drive",                                             // 24 + drive
    u"The drive name is not valid.",                                  // 25
    u"The network drive is disconnected and cannot be reconnected.",  // 26
    u"The network reported an error.",                                // 27
    u"The network name of the drive is too long.",                    // 28
    u"No network provider knows this drive.",                         // 29
    u"The network path of the drive cannot be found.",                // 30
    u"The network is not available.",                                 // 31
    u"The drive is not connected to a network share.",                // 32
    u"The file name is too long (260 characters or more).",           // 33
    u"Enter both a user name and a password.",                        // 34
};

}  // namespace

SafeArray<String> DefaultLiterals() {
    return SafeArray<String>::Vector(1, std::vector<String>(std::begin(kLiterals), std::end(kLiterals)));
}

SafeArray<String> DefaultLits() {
    std::vector<String> lits(32);
    lits[30] = u"Log in to the database server";
    lits[31] = u"The database server did not accept the login: a user name and a password are needed.";
    return SafeArray<String>::Vector(1, std::move(lits));
}

}  // namespace varnholt
