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
void CheckWithoutAdministration(ConnectionHelper& helper, AnsweringView& view, const String& company,
                                const String& masterPath, const SafeArray<String>& lits) {
    // The provisioning members prompt once when the lookup with the defaults fails.
    auto cancelled = [&view](std::function<String()> call) {
        return [&view, call] {
            view.answers.push_back({false, "", ""});
            return U8(call());
        };
    };
    // A call on a new session.
    auto server = [](const std::function<std::string(CPVSServer&)>& call) {
        return [=] {
            CPVSServer s;
            return call(s);
        };
    };
    auto runs = [server](const std::function<void(CPVSServer&)>& call) {
        return server([=](CPVSServer& s) { return call(s), std::string("done"); });
    };
    const Outcome notFound = Raises(53, "Varnholt", kNotFound);
    CheckRows({
        {"CPVSServer.EngineVersionMajor", server([](CPVSServer& s) { return std::to_string(s.EngineVersionMajor()); }),
         Returns("-1")},
        {"CPVSServer.Connect", runs([](CPVSServer& s) { s.Connect(); }), notFound},
        {"CPVSServer.DisConnect, never connected", runs([](CPVSServer& s) { s.DisConnect(); }), Returns("done")},
        {"CPVSServer.DisConnect, fields set by the client", runs([](CPVSServer& s) {
             s.Connected = s.Started = true;
             s.lConn = 5;
             s.DisConnect();
         }),
         notFound},
        {"CPVSServer.GetDBNamesCount", runs([](CPVSServer& s) { s.GetDBNamesCount(); }), notFound},
        {"CPVSServer.GetDBName", runs([](CPVSServer& s) { s.GetDBName(1); }), notFound},
        {"CPVSServer.GetDBNames", runs([](CPVSServer& s) { s.GetDBNames(true); }), notFound},
        {"CPVSServer.CreateDBName", runs([](CPVSServer& s) { s.CreateDBName(u"A", u"B", u"C"); }),
         Raises(53, kServer + "CreateDBName", kNotFound)},
        {"CPVSServer.DropDBName", runs([](CPVSServer& s) { s.DropDBName(u"A"); }), notFound},
        {"CPVSServer.ModifyDataBase", runs([](CPVSServer& s) { s.ModifyDataBase(u"A", Variant(u"B")); }), notFound},
        {"CPVSServer.GetEngineVersion (its own library)",
         server([](CPVSServer& s) { return U8(s.GetEngineVersion()); }), Returns("9.5.0")},
        {"ConnectionHelper.GetDBName", [&] { return U8(helper.GetDBName(u"C:\\Data", u"")); },
         Raises(53, kHelper + "GetDBName", kNotFound)},
        {"ConnectionHelper.DBNameExists", [&] { return Bool(helper.DBNameExists(u"A", u"")); },
         Raises(53, kHelper + "DBNameExists", kNotFound)},
        {"ConnectionHelper.CreatePSQLDBName",
         Runs([&] { helper.CreatePSQLDBName(u"A", u"FS01", masterPath, company, company, u"u", u"p", false); }),
         notFound},
        {"ConnectionHelper.GetPSQLConnStr",
         cancelled([&] { return helper.GetPSQLConnStr(u"A", company, masterPath, lits); }),
         Raises(53, kHelper + "DBNameExists", kNotFound)},
        {"ConnectionHelper.CreateDBEntry",
         [&] { return U8(helper.CreateDBEntry(u"A", company, masterPath, lits, u"u", u"p")); },
         Raises(53, kHelper + "DBNameExists", kNotFound)},
        {"ConnectionHelper.GetCreateDB",
         cancelled([&] { return helper.GetCreateDB(u"A", company, masterPath, u"T", lits); }),
         Raises(53, kHelper + "DBNameExists", kNotFound)},
        {"ConnectionHelper.ModifyDataBase",
         cancelled([&] { return helper.ModifyDataBase(u"A", u"B", masterPath, company, company, u"u", u"p", lits); }),
         Raises(53, kHelper + "DBNameExists", kNotFound)},
    });
}

class NoLibraryBadInput : public ConnectionFixture {
protected:
    void Check() {
        home.AddServer("FS01");
        CheckWithoutAdministration(helper, *view, CompanyOnShare("Co1"), masterPath, lits);
    }
};
class NoDisconnectBadInput : public NoLibraryBadInput {};

TEST_F(NoLibraryBadInput, EngineMembers) { Check(); }
TEST_F(NoDisconnectBadInput, EngineMembers) { Check(); }

}  // namespace
}  // namespace varnholt::test
