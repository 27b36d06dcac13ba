#pragma once
// The plumbing every object of the test ADO server shares: reference counts that the module
// counts as live objects, IDispatch over a table of member names, arguments read the way ADO
// reads them, and failures raised as ADO raises them (DISP_E_EXCEPTION with EXCEPINFO and an
// error record).
#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/win32/ComObject.h"
#include "platform/win32/ComTypes.h"

namespace adoserver {

using varnholt::win32::Bstr;
using varnholt::win32::ComPtr;
using varnholt::win32::VariantValue;

// Objects alive now, per kind; the module reports any left at process exit.
enum class Kind { kConnection, kRecordset, kFields, kField, kCount };
long LiveObjects();
std::wstring LiveObjectsText();
void CountObject(Kind kind, long delta);

// A failure leaving a member: number, source and description as the client will see them.
struct AdoError {
    HRESULT code;
    std::wstring source;
    std::wstring description;
};
// A failure that IDispatch itself reports (bad argument count, type, unknown member).
struct DispatchFailure {
    HRESULT code;
};

// ADO's own failures carry 0x800A0000 | number.
[[noreturn]] void RaiseAdo(int number, const std::wstring& source, const wchar_t* description);
inline constexpr wchar_t kNotAllowedClosed[] = L"Operation is not allowed when the object is closed.";
inline constexpr wchar_t kNotAllowedOpen[] = L"Operation is not allowed when the object is open.";
inline constexpr wchar_t kNoCurrentRecord[] =
    L"Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a current "
    L"record.";
inline constexpr wchar_t kItemNotFound[] =
    L"Item cannot be found in the collection corresponding to the requested name or ordinal.";
inline constexpr wchar_t kWrongArguments[] =
    L"Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.";

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
std::wstring FromBstr(BSTR text);
BSTR NewBstr(const std::wstring& text);

// Appends "ADODB <function> <args...>" to the stand-in's journal when it exists.
void Journal(const char* function, const std::vector<std::wstring>& args = {});

// The arguments of one call, in the member's order (DISPPARAMS holds them reversed).
class Args {
public:
    explicit Args(const DISPPARAMS* params);
    size_t Count() const { return count_; }
    // Present: given and not the "missing" marker of an omitted optional argument.
    bool Has(size_t i) const;
    // The value itself, references followed.
    const VARIANT& At(size_t i) const;
    std::wstring Text(size_t i) const;  // raises DISP_E_TYPEMISMATCH when it does not convert
    long Long(size_t i, long fallback) const;
    void AtMost(size_t n) const;
    void Require(size_t n) const;
    // The value of a property put.
    const VARIANT& PutValue() const;

private:
    const DISPPARAMS* params_;
    size_t count_;
};

std::wstring ToText(const VARIANT& value);
long ToLong(const VARIANT& value);
VariantValue LongValue(long value);
VariantValue BoolValue(bool value);
VariantValue TextValue(const std::wstring& value);

struct Member {
    const wchar_t* name;
    DISPID id;
    bool property;  // else a method
};

class DispatchObject : public varnholt::win32::ComObject<DispatchObject, IDispatch, ISupportErrorInfo> {
public:
    // IUnknown: IDispatch, ISupportErrorInfo and the object's own interfaces
    void* Find(REFIID iid);
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excep, UINT* argErr) override;
    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

protected:
    friend ComObject;
    DispatchObject(Kind kind, std::wstring source, const Member* members, size_t memberCount);
    virtual ~DispatchObject();
    // One member call; put is true for a property put. Raises AdoError or DispatchFailure.
    virtual void Call(DISPID id, bool put, const Args& args, VariantValue& result) = 0;
    // Another interface this object answers to (the server's own, private ones).
    virtual void* OwnInterface(REFIID) { return nullptr; }
    const std::wstring& Source() const { return source_; }

private:
    Kind kind_;
    std::wstring source_;
    const Member* members_;
    size_t memberCount_;
};

// A new object's first reference as a VARIANT (VT_DISPATCH).
VariantValue DispatchValue(IDispatch* owned);

}  // namespace adoserver
