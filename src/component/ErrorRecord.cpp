#include "component/ErrorRecord.h"

#include "platform/win32/ComTypes.h"

namespace varnholt::component {

using namespace varnholt::win32;

HRESULT HResultOfNumber(int32_t number) {
    if (number >= 1 && number <= 0xFFFF) return static_cast<HRESULT>(0x800A0000u | static_cast<uint32_t>(number));
    if (number < 0) return static_cast<HRESULT>(number);
    return E_FAIL;
}

HRESULT ReportError(const Error& error, REFIID iid) noexcept {
    ComPtr<ICreateErrorInfo> create;
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
        Bstr source(SysAllocStringLen(reinterpret_cast<const wchar_t*>(error.Source().data()),
                                      static_cast<UINT>(error.Source().size())));
        Bstr description(SysAllocStringLen(reinterpret_cast<const wchar_t*>(error.Description().data()),
                                           static_cast<UINT>(error.Description().size())));
        create->SetGUID(iid);
        create->SetSource(source.Get());
        create->SetDescription(description.Get());
        create.QueryTo(IID_IErrorInfo, info);
    }
    // Without a record of its own the call must not leave an earlier one behind.
    SetErrorInfo(0, info.Get());
    return HResultOfNumber(error.Number());
}

}  // namespace varnholt::component
