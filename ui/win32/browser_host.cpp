#include "ui/win32/browser_host.h"

#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>
#include <oleidl.h>

namespace qv::ui::win32 {

// The container side of the browser. One object plays every role the control asks for; its
// life is counted by COM, and Detach() cuts it off from the host before the host goes away.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public DWebBrowserEvents2 {
 public:
  BrowserSite(HWND host, std::function<void(const std::string&)> onTitle)
      : host_(host), onTitle_(std::move(onTitle)) {}
  virtual ~BrowserSite() = default;

  void Detach() {
    host_ = nullptr;
    onTitle_ = nullptr;
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
    } else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
      *out = static_cast<DWebBrowserEvents2*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite: no storage, no monikers; the control is always shown.
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the site and the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    *out = host_;
    return host_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite: the control lives in the host window's whole client area.
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                             LPRECT position, LPRECT clip,
                                             LPOLEINPLACEFRAMEINFO info) override {
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *doc = nullptr;
    RECT client{};
    if (host_) GetClientRect(host_, &client);
    *position = client;
    *clip = client;
    info->fMDIApp = FALSE;
    info->hwndFrame = host_ ? GetAncestor(host_, GA_ROOT) : nullptr;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow / IOleInPlaceFrame: no toolbars, menus or accelerators of ours.
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  // IDispatch of the DWebBrowserEvents2 sink: only the title change is of interest.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (id == DISPID_TITLECHANGE && params && params->cArgs >= 1 && onTitle_) {
      const VARIANT& arg = params->rgvarg[0];
      if (arg.vt == VT_BSTR) {
        auto handler = onTitle_;  // the handler may destroy the host
        handler(Narrow(arg.bstrVal, static_cast<int>(SysStringLen(arg.bstrVal))));
      }
    }
    return S_OK;
  }

 private:
  ULONG refs_ = 1;
  HWND host_;
  std::function<void(const std::string&)> onTitle_;
};

namespace {

// A BSTR owned for the length of one call.
class Bstr {
 public:
  explicit Bstr(const std::string& text) : value_(SysAllocString(Wide(text).c_str())) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR Get() const { return value_; }

 private:
  BSTR value_;
};

}  // namespace

namespace {
constexpr wchar_t kHostProperty[] = L"QuorvelBrowserHost";
}  // namespace

BrowserHost::BrowserHost(HWND host, std::function<void(const std::string&)> onTitle)
    : host_(host), site_(new BrowserSite(host, std::move(onTitle))) {
  SetPropW(host_, kHostProperty, this);
  ComPtr<IOleObject> object;
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              object.PutVoid()))) {
    return;
  }
  if (FAILED(object->SetClientSite(static_cast<IOleClientSite*>(site_)))) return;
  OleSetContainedObject(object.Get(), TRUE);
  RECT client{};
  GetClientRect(host_, &client);
  object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, host_,
                 &client);
  if (FAILED(object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)))) {
    browser_ = nullptr;
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
    return;
  }
  // Script errors of the cashier pages must not stop an unattended shop with dialogs.
  browser_->put_Silent(VARIANT_TRUE);

  ComPtr<IConnectionPointContainer> points;
  ComPtr<IConnectionPoint> point;
  if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, points.PutVoid())) &&
      SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put()))) {
    if (FAILED(point->Advise(static_cast<DWebBrowserEvents2*>(site_), &cookie_))) cookie_ = 0;
  }
}

BrowserHost::~BrowserHost() {
  RemovePropW(host_, kHostProperty);
  site_->Detach();
  if (browser_) {
    if (cookie_ != 0) {
      ComPtr<IConnectionPointContainer> points;
      ComPtr<IConnectionPoint> point;
      if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, points.PutVoid())) &&
          SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, point.Put()))) {
        point->Unadvise(cookie_);
      }
    }
    browser_->Stop();
    ComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(browser_->QueryInterface(IID_IOleInPlaceObject, inPlace.PutVoid()))) {
      inPlace->InPlaceDeactivate();
    }
    ComPtr<IOleObject> object;
    if (SUCCEEDED(browser_->QueryInterface(IID_IOleObject, object.PutVoid()))) {
      object->Close(OLECLOSE_NOSAVE);
      object->SetClientSite(nullptr);
    }
    browser_->Release();
  }
  site_->Release();
}

void BrowserHost::Navigate(const std::string& url) {
  if (!browser_) return;
  Bstr address(url);
  VARIANT empty;
  VariantInit(&empty);
  browser_->Navigate(address.Get(), &empty, &empty, &empty, &empty);
}

void BrowserHost::Resize(int width, int height) {
  if (!browser_) return;
  ComPtr<IOleInPlaceObject> inPlace;
  if (SUCCEEDED(browser_->QueryInterface(IID_IOleInPlaceObject, inPlace.PutVoid()))) {
    RECT area{0, 0, width, height};
    inPlace->SetObjectRects(&area, &area);
  }
}

bool BrowserHost::TranslateKey(MSG& message) {
  if (!browser_) return false;
  ComPtr<IOleInPlaceActiveObject> active;
  if (FAILED(browser_->QueryInterface(IID_IOleInPlaceActiveObject, active.PutVoid()))) {
    return false;
  }
  return active->TranslateAccelerator(&message) == S_OK;
}

bool TranslateBrowserKey(MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  for (HWND w = message.hwnd; w; w = GetParent(w)) {
    if (auto* host = static_cast<BrowserHost*>(GetPropW(w, kHostProperty))) {
      return host->TranslateKey(message);
    }
  }
  return false;
}

bool InsideBrowser(HWND hwnd) {
  wchar_t cls[64];
  for (HWND w = hwnd; w; w = GetParent(w)) {
    if (GetClassNameW(w, cls, 64) && lstrcmpW(cls, kBrowserHostClass) == 0) return true;
  }
  return false;
}

void SetBrowserEmulation() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  HKEY raw = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                      L"FEATURE_BROWSER_EMULATION",
                      0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return;
  }
  std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)> key(raw, RegCloseKey);
  DWORD mode = 11001;  // IE11 edge mode, whatever the page's DOCTYPE says
  RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode), sizeof(mode));
}

}  // namespace qv::ui::win32
