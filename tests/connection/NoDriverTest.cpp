// Runs with ODBCSYSINI naming a folder where no driver is registered.
#include "ConnectionFixture.h"

namespace varnholt::test {
namespace {

using NoDriver = ConnectionFixture;

TEST_F(NoDriver, AFailureWithoutAnEngineMarkerKeepsItsNumberAndText) {
    EXPECT_RAISES(helper.CreatePSQLConnection(u"@ACME", u"FS01", u"", u"", true), -2147467259,
                  "Kestrin.Varnholt.ConnectionHelper.CreatePSQLConnection",
                  "[unixODBC][Driver Manager]Can't open lib 'Pervasive ODBC Client Interface' : file not found");
}

}  // namespace
}  // namespace varnholt::test
