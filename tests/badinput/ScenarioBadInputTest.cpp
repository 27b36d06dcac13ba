// The members that reach the engine when its administration libraries are missing (only the
// version library on the search path) or lack an entry point (generation 9 without
// PvDisconnect). Each suite runs in a process of its own with that search path.
#include "BadInput.h"
#include "ConnectionFixture.h"
#include "varnholt/CPVSServer.h"

namespace varnholt::test {
namespace {

const std::string kServer = "Kestrin.Varnholt.CPVSServer.";
const std::string kHelper = "Kestrin.Varnholt.ConnectionHelper.";
const std::string kNotFound = "File not found: W3DBAV75.DLL";

// Every engine call fails the same way: the probe found no generation, the binding falls back
// to generation 7, and its library does not load.
class NoLibraryBadInput : public ConnectionFixture {
protected:
    void Check() {
        home.AddServer("FS01");
        const String company = CompanyOnShare("Co1");
        // The provisioning members prompt once when the lookup with the defaults fails.
        auto cancelled = [this](std::function<String()> call) {
            return [this, call] { return view->answers.push_back({false, "", ""}), U8(call()); };
        };
        const Outcome notFound = Raises(53, "Varnholt", kNotFound),
                      viaExists = Raises(53, kHelper + "DBNameExists", kNotFound);
        CheckRows({
            {"CPVSServer.EngineVersionMajor", [] { return std::to_string(CPVSServer().EngineVersionMajor()); },
             Returns("-1")},
            {"CPVSServer.Connect", Runs([] { CPVSServer().Connect(); }), notFound},
            {"CPVSServer.DisConnect, never connected", Runs([] { CPVSServer().DisConnect(); }), Returns("done")},
            {"CPVSServer.DisConnect, fields set by the client", Runs([] {
                 CPVSServer s;
                 s.Connected = s.Started = true;
                 s.lConn = 5;
                 s.DisConnect();
             }),
             notFound},
            {"CPVSServer.GetDBNamesCount", Runs([] { CPVSServer().GetDBNamesCount(); }), notFound},
            {"CPVSServer.GetDBName", Runs([] { CPVSServer().GetDBName(1); }), notFound},
            {"CPVSServer.GetDBNames", Runs([] { CPVSServer().GetDBNames(true); }), notFound},
            {"CPVSServer.CreateDBName", Runs([] { CPVSServer().CreateDBName(u"A", u"B", u"C"); }),
             Raises(53, kServer + "CreateDBName", kNotFound)},
            {"CPVSServer.DropDBName", Runs([] { CPVSServer().DropDBName(u"A"); }), notFound},
            {"CPVSServer.ModifyDataBase", Runs([] { CPVSServer().ModifyDataBase(u"A", Variant(u"B")); }), notFound},
            {"CPVSServer.GetEngineVersion (its own library)", [] { return U8(CPVSServer().GetEngineVersion()); },
             Returns("9.5.0")},
            {"ConnectionHelper.GetDBName", [&] { return U8(helper.GetDBName(u"C:\\Data", u"")); },
             Raises(53, kHelper + "GetDBName", kNotFound)},
            {"ConnectionHelper.DBNameExists", [&] { return Bool(helper.DBNameExists(u"A", u"")); }, viaExists},
            {"ConnectionHelper.CreatePSQLDBName",
             Runs([&] { helper.CreatePSQLDBName(u"A", u"FS01", masterPath, company, company, u"u", u"p", false); }),
             notFound},
            {"ConnectionHelper.GetPSQLConnStr",
             cancelled([&] { return helper.GetPSQLConnStr(u"A", company, masterPath, lits); }), viaExists},
            {"ConnectionHelper.CreateDBEntry",
             [&] { return U8(helper.CreateDBEntry(u"A", company, masterPath, lits, u"u", u"p")); }, viaExists},
            {"ConnectionHelper.GetCreateDB",
             cancelled([&] { return helper.GetCreateDB(u"A", company, masterPath, u"T", lits); }), viaExists},
            {"ConnectionHelper.ModifyDataBase", cancelled([&] {
                 return helper.ModifyDataBase(u"A", u"B", masterPath, company, company, u"u", u"p", lits);
             }),
             viaExists},
        });
    }
};
class NoDisconnectBadInput : public NoLibraryBadInput {};

TEST_F(NoLibraryBadInput, EngineMembers) { Check(); }
TEST_F(NoDisconnectBadInput, EngineMembers) { Check(); }

}  // namespace
}  // namespace varnholt::test
