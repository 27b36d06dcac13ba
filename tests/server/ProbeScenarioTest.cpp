// Each suite runs in its own process with a library search path holding only some of the
// engine's administration libraries.
#include "TestSupport.h"
#include "varnholt/CPVSServer.h"

namespace varnholt::test {
namespace {

std::vector<std::string> Libraries(const EngineHome& home, const std::string& function) {
    std::vector<std::string> out;
    for (const auto& fields : home.Journal())
        if (fields.size() > 1 && fields[1] == function) out.push_back(fields[0]);
    return out;
}

TEST(OnlyGeneration8, BindsToEightAndReportsEight) {
    EngineHome home;
    home.EnableJournal();
    CPVSServer server;
    server.Connect();
    EXPECT_EQ(server.EngineVersionMajor(), 8);
    EXPECT_EQ(Libraries(home, "PvStart"), std::vector<std::string>{"W3DBAV80"});
}

TEST(Generations8And9, TheNewestWins) {
    EngineHome home;
    home.EnableJournal();
    CPVSServer server;
    EXPECT_EQ(server.EngineVersionMajor(), 9);
    server.Connect();
    EXPECT_EQ(Libraries(home, "PvDisconnect"), (std::vector<std::string>{"W3DBAV80", "W3DBAV90"}));
    EXPECT_EQ(Libraries(home, "PvStart"), std::vector<std::string>{"W3DBAV90"});
}

}  // namespace
}  // namespace varnholt::test
