#include "Texts.h"

#include <charconv>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace varnholt::cli {
namespace {

// Subscripts 1 to 9 carry the login dialog's design texts; 17 and 19 to 23 are read by nobody.
const char* const kLiterals[] = {
    "Login", "@Specify the login information,", "Enter the login name and password.", "Password", "Server", "User Name",
    "", "OK", "Cancel",
    "Log in to find the database name",       // 10
    "No dictionary folder was given.",        // 11
    "There are no data files (*.DAT) in",     // 12 + folder
    "Log in to create the database name on",  // 13 + server
    "Beta",                                   // 14
    "The dictionary file",                    // 15 + file
    "is missing from the master folder.",     // 16
    "",                                       // 17
    "could not be written.",                  // 18
    // 19 to 23
    "", "", "", "", "",
    "There is no drive",                                             // 24 + drive
    "The drive name is not valid.",                                  // 25
    "The network drive is disconnected and cannot be reconnected.",  // 26
    "The network reported an error.",                                // 27
    "The network name of the drive is too long.",                    // 28
    "No network provider knows this drive.",                         // 29
    "The network path of the drive cannot be found.",                // 30
    "The network is not available.",                                 // 31
    "The drive is not connected to a network share.",                // 32
    "The file name is too long (260 characters or more).",           // 33
    "Enter both a user name and a password.",                        // 34
};

const char* const kProvisioningCaption = "Log in to the database server";
const char* const kProvisioningRefused =
    "The database server did not accept the login: a user name and a password are needed.";

SafeArray<String> FromTexts(const std::vector<std::string>& items) {
    std::vector<String> texts;
    for (const std::string& item : items) texts.push_back(FromUtf8(item));
    return SafeArray<String>::Vector(1, std::move(texts));
}

void Put(SafeArray<String>& array, int32_t subscript, String text) {
    if (subscript > array.UBound()) {
        std::vector<String> grown = array.Elements();
        grown.resize(static_cast<size_t>(subscript));
        array = SafeArray<String>::Vector(1, std::move(grown));
    }
    array.At(subscript) = std::move(text);
}

}  // namespace

Texts DefaultTexts() {
    Texts texts;
    texts.Literals = FromTexts(std::vector<std::string>(std::begin(kLiterals), std::end(kLiterals)));
    std::vector<std::string> lits(32);
    lits[30] = kProvisioningCaption;
    lits[31] = kProvisioningRefused;
    texts.Lits = FromTexts(lits);
    return texts;
}

void LoadTexts(const std::string& path, Texts& texts) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the texts file " + path);
    constexpr int32_t kHighestSubscript = 1000;
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        const size_t tab = line.find('\t');
        const bool provisioning = line.front() == 'P';
        const char* first = line.data() + (provisioning ? 1 : 0);
        const char* last = line.data() + (tab == std::string::npos ? line.size() : tab);
        int32_t subscript = 0;
        const auto [end, error] = std::from_chars(first, last, subscript);
        if (tab == std::string::npos || error != std::errc() || end != last || first == last || subscript < 1 ||
            subscript > kHighestSubscript)
            throw std::runtime_error(path + ":" + std::to_string(lineNumber) +
                                     ": expected NUMBER<TAB>TEXT or PNUMBER<TAB>TEXT, with NUMBER from 1 to " +
                                     std::to_string(kHighestSubscript));
        Put(provisioning ? texts.Lits : texts.Literals, subscript, FromUtf8(line.substr(tab + 1)));
    }
    if (in.bad()) throw std::runtime_error("cannot read the texts file " + path);
}

}  // namespace varnholt::cli
