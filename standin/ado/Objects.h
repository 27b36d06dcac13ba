#pragma once
// The server's classes: a connection to the stand-in engine through the code its ODBC driver
// runs, and a recordset (fabricated, or the result of a query) with its fields.
#include <string>

#include "Dispatch.h"

namespace adoserver {

// {1A17A1EC-178E-4DB1-B3FC-262CAF39D823}, {BDA8F3C0-6546-4C61-B64D-1344FAFAC04A}
inline constexpr CLSID kConnectionClsid = {
    0x1a17a1ec, 0x178e, 0x4db1, {0xb3, 0xfc, 0x26, 0x2c, 0xaf, 0x39, 0xd8, 0x23}};
inline constexpr CLSID kRecordsetClsid = {0xbda8f3c0, 0x6546, 0x4c61, {0xb6, 0x4d, 0x13, 0x44, 0xfa, 0xfa, 0xc0, 0x4a}};
// Private: how a recordset recognises one of our connections handed to its Open.
inline constexpr IID kConnectionIid = {0x6c0d13a2, 0x58e1, 0x4f0b, {0x9a, 0x55, 0x3e, 0x0b, 0x71, 0x2d, 0xc4, 0x19}};

// The error source of failures that come from the driver, as ADO's ODBC provider names itself.
inline constexpr wchar_t kProviderSource[] = L"Microsoft OLE DB Provider for ODBC Drivers";
inline constexpr HRESULT kProviderFailure = static_cast<HRESULT>(0x80004005);

class Connection final : public DispatchObject {
public:
    Connection();
    bool IsOpen() const { return open_; }
    const std::string& DataFolder() const { return dataFolder_; }

protected:
    void Call(DISPID id, bool put, const Args& args, VariantValue& result) override;
    void* OwnInterface(REFIID iid) override;

private:
    void Open(const Args& args);
    std::wstring connectionString_;
    std::string dataFolder_;
    bool open_ = false;
};

// A new object with its first reference.
IDispatch* NewConnection();
IDispatch* NewRecordset();
// An open recordset without fields or rows: what a query of the stand-in returns.
IDispatch* NewQueryResult();

// The text the driver receives: ODBC reads a string up to its first NUL.
std::string DriverText(const std::wstring& text);
// The driver's failure as ADO's ODBC provider raises it.
[[noreturn]] void RaiseProvider(const std::string& message);

}  // namespace adoserver
