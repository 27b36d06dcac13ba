// The in-memory recordset the component builds: rows added by field names in any order and
// case, read back in order, and a failed addition leaving no trace. And the one rule both
// connections apply before the driver sees a text.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "varnholt/DataAccess.h"

namespace varnholt::test {
namespace {

constexpr char kSource[] = "Varnholt.DataAccess";
// The driver's failures as the platform's data access raises them: ADO names its ODBC provider.
#ifdef _WIN32
constexpr char kDriverSource[] = "Microsoft OLE DB Provider for ODBC Drivers";
#else
constexpr char kDriverSource[] = "Varnholt.DataAccess";
#endif
constexpr char kNotFound[] = "Item cannot be found in the collection corresponding to the requested name or ordinal.";
constexpr char kNoCurrentRecord[] =
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current record.";

std::shared_ptr<Recordset> Open(const std::vector<String>& fields) {
    auto recordset = CreateRecordset();
    for (const String& field : fields) recordset->AppendField(field, adVarChar, 1000, adFldUnspecified);
    recordset->Open();
    return recordset;
}

TEST(Recordset, RowsComeBackInOrderWhicheverWayTheyWereAdded) {
    auto recordset = Open({u"id", u"Name", u"\u00C4rger"});
    constexpr int32_t kRows = 1000;  // enough for the storage to grow several times
    for (int32_t n = 1; n <= kRows; ++n) {
        const String text = u"row" + Decimal(n);
        if (n % 2) {
            recordset->AddNew({u"\u00E4RGER", u"ID", u"name"}, {Variant(n * 2), Variant(n), Variant(text)});
        } else {
            std::vector<Variant> values{Variant(text), Variant(n), Variant(n * 2)};
            recordset->AddNew({u"NAME", u"Id", u"\u00C4rger"}, std::move(values));
        }
    }
    ASSERT_EQ(recordset->RecordCount(), kRows);
    recordset->MoveFirst();
    for (int32_t n = 1; n <= kRows; ++n) {
        ASSERT_FALSE(recordset->EOF_());
        EXPECT_EQ(recordset->Value(u"iD").ToLong(), n);
        EXPECT_EQ(recordset->Value(1).ToText(), u"row" + Decimal(n));
        EXPECT_EQ(recordset->Value(u"\u00E4rger").ToLong(), n * 2);
        recordset->MoveNext();
    }
    EXPECT_TRUE(recordset->EOF_());
    EXPECT_FALSE(recordset->BOF_());
    EXPECT_RAISES(recordset->Value(u"id"), 3021, kSource, kNoCurrentRecord);  // as on an empty one
    EXPECT_RAISES(Open({u"id"})->Value(u"id"), 3021, kSource, kNoCurrentRecord);
}

TEST(Recordset, AFailedAdditionLeavesNoRow) {
    auto recordset = Open({u"id", u"name"});
    recordset->AddNew({u"id", u"name"}, {Variant(int32_t{1}), Variant(u"one")});
    EXPECT_RAISES(recordset->AddNew({u"id", u"nmae"}, {Variant(int32_t{2}), Variant(u"two")}), 3265, kSource,
                  kNotFound);
    std::vector<Variant> values{Variant(u"three"), Variant(int32_t{3})};
    EXPECT_RAISES(recordset->AddNew({u"name", u"idx"}, std::move(values)), 3265, kSource, kNotFound);
    EXPECT_RUNTIME_ERROR(recordset->AddNew({u"id"}, {Variant(int32_t{4}), Variant(u"four")}), kInvalidProcedureCall);
    EXPECT_EQ(recordset->RecordCount(), 1);
    EXPECT_EQ(recordset->Value(u"name").ToText(), u"one") << "still on the row that was added";
    // The next row starts empty, whatever the failed ones had set.
    recordset->AddNew({u"name"}, {Variant(u"five")});
    recordset->MoveFirst();
    recordset->MoveNext();
    EXPECT_TRUE(recordset->Value(u"id").IsEmpty());
    EXPECT_EQ(recordset->Value(u"name").ToText(), u"five");
}

// A client's misuse raises ADO's own numbers and texts, before anything changes.
TEST(Recordset, MisuseRaisesWhatADORaises) {
    constexpr char kClosed[] = "Operation is not allowed when the object is closed.";
    constexpr char kOpen[] = "Operation is not allowed when the object is open.";
    struct Case {
        const char* what;
        bool open;  // on an open recordset with one field and no rows, else on a closed one
        std::function<void(Recordset&)> call;
        int32_t number;
        const char* description;
    } cases[] = {
        {"RecordCount", false, [](Recordset& r) { r.RecordCount(); }, 3704, kClosed},
        {"EOF", false, [](Recordset& r) { r.EOF_(); }, 3704, kClosed},
        {"BOF", false, [](Recordset& r) { r.BOF_(); }, 3704, kClosed},
        {"MoveFirst", false, [](Recordset& r) { r.MoveFirst(); }, 3704, kClosed},
        {"MoveNext", false, [](Recordset& r) { r.MoveNext(); }, 3704, kClosed},
        {"UpdateBatch", false, [](Recordset& r) { r.UpdateBatch(adAffectAll); }, 3704, kClosed},
        {"AddNew", false, [](Recordset& r) { r.AddNew({u"id"}, {Variant(int32_t{1})}); }, 3704, kClosed},
        {"Close", false, [](Recordset& r) { r.Close(); }, 3704, kClosed},
        {"AppendField", true, [](Recordset& r) { r.AppendField(u"x", adVarChar, 10, adFldUnspecified); }, 3705, kOpen},
        {"Open", true, [](Recordset& r) { r.Open(); }, 3705, kOpen},
        {"MoveFirst without rows", true, [](Recordset& r) { r.MoveFirst(); }, 3021, kNoCurrentRecord},
        {"MoveNext past the end", true, [](Recordset& r) { r.MoveNext(); }, 3021, kNoCurrentRecord},
        {"Value past the last field", true, [](Recordset& r) { r.Value(1); }, 3265, kNotFound},
        {"FieldName before the first", true, [](Recordset& r) { r.FieldName(-1); }, 3265, kNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto recordset = CreateRecordset();
        recordset->AppendField(u"id", adInteger, 4, adFldUnspecified);
        if (c.open) recordset->Open();
        EXPECT_RAISES(c.call(*recordset), c.number, kSource, c.description);
        EXPECT_EQ(recordset->IsOpen(), c.open);
        EXPECT_EQ(recordset->FieldCount(), 1);
    }
}

TEST(Recordset, ARowWithoutFieldsStillCounts) {
    auto recordset = Open({});
    recordset->AddNew({}, {});
    recordset->AddNew({}, std::vector<Variant>{});
    EXPECT_EQ(recordset->RecordCount(), 2);
    EXPECT_FALSE(recordset->EOF_());
}

// The driver would read such a text up to the NUL: another connection than the one asked for.
TEST(Connection, ATextHoldingANulNeverReachesTheDriver) {
    EngineHome home;
    home.EnableJournal();
    const String text = S("Driver={Pervasive ODBC Client Interface};ServerName=" + HostName() + ";dbq=@ACME");
    const String withNul = text + u'\0' + u"X";
    const std::string refusal = "The connection string holds a NUL character.";
    const std::string undefined = "[Varnholt][Stand-in ODBC] Database name ACME is not defined on server " +
                                  HostName() + ". (Btrieve Error 2301)";
    struct Case {
        const char* what;
        String stored, given;
        bool refused;
    } cases[] = {
        {"given to Open", u"", withNul, true},
        {"stored before Open", withNul, u"", true},
        {"given while a clean one is stored", text, withNul, true},
        {"the text up to the NUL alone reaches the driver", u"", text, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        home.ClearJournal();
        auto connection = CreateConnection();
        connection->SetConnectionString(c.stored);
        EXPECT_EQ(connection->ConnectionString(), c.stored);
        EXPECT_RAISES(connection->Open(c.given, u"", u"", adOptionUnspecified), -2147467259,
                      c.refused ? kSource : kDriverSource, c.refused ? refusal : undefined);
        const auto journal = home.Journal();
        EXPECT_EQ(std::any_of(journal.begin(), journal.end(),
                              [](const auto& fields) { return fields.size() > 1 && fields[1] == "SQLDriverConnect"; }),
                  !c.refused);
        EXPECT_FALSE(connection->IsOpen());
    }
}

}  // namespace
}  // namespace varnholt::test
