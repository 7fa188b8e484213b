#include "accessible_annotations.h"

#include "wide_text.h"

#include <array>
#include <oleacc.h>

namespace potpanel {

AccessibleAnnotations::AccessibleAnnotations()
{
    comStarted_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    // Without the service the panel works as before, only less well spoken:
    // nothing to tell the operator.
    void* services = nullptr;
    if (comStarted_ &&
        SUCCEEDED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IAccPropServices, &services)))
        services_ = static_cast<IAccPropServices*>(services);
}

AccessibleAnnotations::~AccessibleAnnotations()
{
    clear();
    if (services_)
        services_->Release();
    if (comStarted_)
        ::CoUninitialize();
}

void AccessibleAnnotations::annotate(HWND control, std::string_view name,
                                     std::string_view description)
{
    if (!services_)
        return;
    for (const auto& [property, text] :
         {std::pair{PROPID_ACC_NAME, name}, std::pair{PROPID_ACC_DESCRIPTION, description}}) {
        if (!text.empty())
            services_->SetHwndPropStr(control, DWORD(OBJID_CLIENT), CHILDID_SELF, property,
                                      toWide(text).c_str());
    }
    annotated_.push_back(control);
}

void AccessibleAnnotations::clear()
{
    const std::array properties{PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION};
    for (HWND control : annotated_)
        services_->ClearHwndProps(control, DWORD(OBJID_CLIENT), CHILDID_SELF, properties.data(),
                                  int(properties.size()));
    annotated_.clear();
}

} // namespace potpanel
