#include "ConnectionFixture.h"

#include <cstdlib>

namespace varnholt::test {

namespace fs = std::filesystem;

ConnectionFixture::ConnectionFixture() {
#ifdef VARNHOLT_TEST_ODBCSYSINI
    // A scenario may name its own.
    if (!std::getenv("ODBCSYSINI")) SetEnv("ODBCSYSINI", std::string(VARNHOLT_TEST_ODBCSYSINI));
#endif
    drives.Write("drives", "C:\tfixed\t/\nS:\tremote\t" + share.Path().string() + "\t\\\\FS01\\apps\n");
    SetEnv("VARNHOLT_DRIVES", (drives.Path() / "drives"));
    for (const char* file : {"File.ddf", "Field.ddf", "Index.ddf", "Attrib.ddf"})
        master.Write(file, std::string("master ") + file);
    masterPath = S(master.Path().string());
    lits = Texts(1, 34);
    helper.SetLiterals(lits);
    home.EnableJournal();
    platform::SetLoginView(view);
}

ConnectionFixture::~ConnectionFixture() {
    platform::SetLoginView(nullptr);
    UnsetEnv("VARNHOLT_DRIVES");
}

SafeArray<String> Texts(int32_t lower, int32_t upper, const std::string& prefix) {
    std::vector<std::string> items;
    for (int32_t i = lower; i <= upper; ++i) items.push_back(prefix + std::to_string(i));
    return Strings(lower, items);
}

String ConnectionFixture::CompanyOnShare(const std::string& name, const std::string& dataFile) const {
    share.Write(name + "/" + dataFile, "data");
    return S("S:\\" + name);
}

bool ConnectionFixture::HasDictionary(const fs::path& folder) const {
    for (const char* file : {"File.ddf", "Field.ddf", "Index.ddf", "Attrib.ddf"})
        if (!fs::exists(folder / file)) return false;
    return true;
}

}  // namespace varnholt::test
