#include "platform/win32/wmi_query.h"

#include <windows.h>
// The COM and WMI headers need the types of windows.h.
#include <objbase.h>
#include <oleauto.h>
#include <wbemcli.h>

#include "platform/win32/wide.h"

namespace qv::platform::win32 {
namespace {

// Owns one reference to a COM interface.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : b_(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return b_; }

 private:
  BSTR b_;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* Get() { return &v_; }
  std::string Text() const {
    return v_.vt == VT_BSTR && v_.bstrVal != nullptr ? Narrow(v_.bstrVal) : std::string();
  }

 private:
  VARIANT v_;
};

// COM for the calling thread for the duration of one query, balanced on every path.
class ComApartment {
 public:
  ComApartment() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComApartment() {
    if (ok_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool ok_;
};

bool ConnectCimv2(ComRef<IWbemServices>& services) {
  // Fails harmlessly when the process has set its security already.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  CLSID clsid;
  IID iid;
  if (FAILED(CLSIDFromString(L"{4590f811-1d3a-11d0-891f-00aa004b2e24}", &clsid)) ||
      FAILED(IIDFromString(L"{dc12a687-737f-11cf-884d-00aa004b2e24}", &iid))) {
    return false;
  }
  ComRef<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, locator.OutVoid()))) {
    return false;
  }
  Bstr ns(L"root\\CIMV2");
  if (FAILED(locator->ConnectServer(ns.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.Out()))) {
    return false;
  }
  CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                    RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  return true;
}

}  // namespace

std::string WmiQueryValue(const wchar_t* query, const wchar_t* property) {
  ComApartment com;
  ComRef<IWbemServices> services;
  if (!ConnectCimv2(services)) return "";
  Bstr language(L"WQL"), text(query);
  ComRef<IEnumWbemClassObject> rows;
  if (FAILED(services->ExecQuery(language.Get(), text.Get(),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 rows.Out()))) {
    return "";
  }
  std::string result;
  for (;;) {
    ComRef<IWbemClassObject> row;
    ULONG returned = 0;
    HRESULT hr = rows->Next(2000, 1, row.Out(), &returned);
    if (FAILED(hr) || returned != 1) break;
    // Every row overwrites the value: the last adapter WMI lists wins.
    Variant value;
    Bstr name(property);
    if (FAILED(row->Get(name.Get(), 0, value.Get(), nullptr, nullptr))) {
      result.clear();
      continue;
    }
    result = value.Text();
  }
  return result;
}

}  // namespace qv::platform::win32
