#include "component/ErrorRecord.h"

#include "platform/win32/AutomationValues.h"

namespace varnholt::component {

using namespace varnholt::win32;

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
