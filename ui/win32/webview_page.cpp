// WebView2 through the SDK's loader DLL, loaded at run time from beside the program: a till
// without the DLL or without a runtime still starts, and shows the page in the WebBrowser
// control instead.
#include "ui/win32/webview_page.h"

#include <WebView2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

namespace qv::ui::win32 {
namespace {

// Developer tools and the default context menu (with "Inspect") help while the program is
// being built; at a shop's till they would let anyone poke into the cashier application.
#ifdef NDEBUG
constexpr BOOL kDeveloperFeatures = FALSE;
#else
constexpr BOOL kDeveloperFeatures = TRUE;
#endif

using CreateEnvironment = decltype(&CreateCoreWebView2EnvironmentWithOptions);

std::string HresultText(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

// The loader's entry point. The DLL is loaded by its full path beside the program, so that no
// other folder of the DLL search order can slip in a DLL of that name. It stays loaded for the
// life of the process: the runtime's objects that it made may outlive any one page.
CreateEnvironment LoaderEntry(std::string& whyNot) {
  static HMODULE module = nullptr;
  static std::string failure;
  if (!module && failure.empty()) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      failure = "程序路径过长";
    } else {
      std::wstring loader(path, length);
      loader.erase(loader.find_last_of(L"\\/") + 1);
      loader += L"WebView2Loader.dll";
      module = LoadLibraryExW(loader.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      if (!module)
        failure =
            "程序旁没有可用的 WebView2Loader.dll（错误 " + std::to_string(GetLastError()) + "）";
    }
  }
  if (!module) {
    whyNot = failure;
    return nullptr;
  }
  auto entry = reinterpret_cast<CreateEnvironment>(
      reinterpret_cast<void*>(GetProcAddress(module, "CreateCoreWebView2EnvironmentWithOptions")));
  if (!entry) whyNot = "WebView2Loader.dll 中没有 CreateCoreWebView2EnvironmentWithOptions";
  return entry;
}

// The runtime keeps its profile (cookies, cache, the cashier application's local storage) in
// this folder. Under the user's local application data, never beside the program: the program
// folder under Program Files is not writable for the user at the till.
std::wstring UserDataFolder() {
  PWSTR local = nullptr;
  HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local);
  std::wstring folder;
  if (SUCCEEDED(result) && local) folder = std::wstring(local) + L"\\Quorvel打印服务端\\WebView2";
  CoTaskMemFree(local);
  return folder;
}

// Whether a page may hand the address to the shop's default browser. Anything but a web
// address (file:, a program's path, a custom protocol) would let a page start programs on the
// till through the shell.
bool IsWebAddress(const std::wstring& uri) {
  auto startsWith = [&uri](const wchar_t* prefix) {
    return CompareStringOrdinal(uri.c_str(), static_cast<int>(std::min(uri.size(), wcslen(prefix))),
                                prefix, -1, TRUE) == CSTR_EQUAL;
  };
  return startsWith(L"https://") || startsWith(L"http://");
}

// A text the runtime allocated, freed with CoTaskMemFree on every path.
class RuntimeText {
 public:
  RuntimeText() = default;
  ~RuntimeText() { CoTaskMemFree(text_); }
  RuntimeText(const RuntimeText&) = delete;
  RuntimeText& operator=(const RuntimeText&) = delete;
  LPWSTR* Put() { return &text_; }
  std::wstring Wide() const { return text_ ? text_ : L""; }
  std::string Utf8() const { return text_ ? Narrow(text_) : ""; }

 private:
  LPWSTR text_ = nullptr;
};

// A COM callback of the runtime (a completion or an event handler) that runs `body`.
template <typename Interface, typename... Args>
class Callback final : public Interface {
 public:
  Callback(const IID& iid, std::function<HRESULT(Args...)> body)
      : iid_(iid), body_(std::move(body)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != iid_) return E_NOINTERFACE;
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override {
    AddRef();  // the body may destroy the page that holds this callback
    HRESULT result = body_(args...);
    Release();
    return result;
  }

 private:
  ~Callback() = default;
  ULONG refs_ = 1;
  IID iid_;
  std::function<HRESULT(Args...)> body_;
};

template <typename Interface, typename... Args>
ComPtr<Interface> MakeCallback(const IID& iid, std::function<HRESULT(Args...)> body) {
  return ComPtr<Interface>(new Callback<Interface, Args...>(iid, std::move(body)));
}

class Page;

// What the runtime's callbacks reach. The page cuts it when it goes, so a creation that
// completes after that only cleans up.
struct PageLink {
  Page* page;
};

class Page final : public WebView2Page {
 public:
  Page(HWND host, WebView2Events events)
      : host_(host),
        events_(std::move(events)),
        link_(std::make_shared<PageLink>(PageLink{this})) {}
  ~Page() override;
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // Asks the loader for an environment; false with `whyNot` when it refused at once.
  bool Begin(CreateEnvironment create, const std::wstring& userData, std::string& whyNot);

  void Navigate(const std::string& url) override {
    if (webview_) webview_->Navigate(win32::Wide(url).c_str());
  }
  void Resize(int width, int height) override {
    if (controller_) controller_->put_Bounds(RECT{0, 0, width, height});
  }
  void SetVisible(bool visible) override {
    if (controller_) controller_->put_IsVisible(visible ? TRUE : FALSE);
  }
  void Focus() override {
    if (controller_) controller_->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
  }

 private:
  void OnEnvironment(HRESULT result, ICoreWebView2Environment* environment);
  void OnController(HRESULT result, ICoreWebView2Controller* controller);
  void OnNewWindow(ICoreWebView2NewWindowRequestedEventArgs* args);
  // Reports the failure; the handler may destroy this page, so nothing follows the call.
  void Fail(const std::string& reason);

  HWND host_;
  WebView2Events events_;
  std::shared_ptr<PageLink> link_;
  bool beginning_ = false;  // inside Begin(): a failure is Begin's result, not an event
  std::string beginFailure_;
  // Released in the reverse order: the page, its controller, the environment.
  ComPtr<ICoreWebView2Environment> environment_;
  ComPtr<ICoreWebView2Controller> controller_;
  ComPtr<ICoreWebView2> webview_;
  EventRegistrationToken titleToken_{};
  EventRegistrationToken newWindowToken_{};
  bool titleHooked_ = false;
  bool newWindowHooked_ = false;
};

bool Page::Begin(CreateEnvironment create, const std::wstring& userData, std::string& whyNot) {
  std::shared_ptr<PageLink> link = link_;
  auto done = MakeCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
      std::function<HRESULT(HRESULT, ICoreWebView2Environment*)>(
          [link](HRESULT result, ICoreWebView2Environment* environment) {
            if (link->page) link->page->OnEnvironment(result, environment);
            return S_OK;
          }));
  beginning_ = true;
  // No options object: the runtime's defaults are what the cashier application needs.
  HRESULT result = create(nullptr, userData.c_str(), nullptr, done.Get());
  beginning_ = false;
  if (FAILED(result)) {
    // The loader's answer when no runtime is installed is "file not found".
    whyNot = result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
                 ? "没有安装 WebView2 运行时（" + HresultText(result) + "）"
                 : "WebView2 环境创建失败（" + HresultText(result) + "）";
    return false;
  }
  if (!beginFailure_.empty()) {
    whyNot = beginFailure_;
    return false;
  }
  return true;
}

void Page::OnEnvironment(HRESULT result, ICoreWebView2Environment* environment) {
  if (FAILED(result) || !environment) {
    std::string reason = "WebView2 环境创建失败（" + HresultText(result) + "）";
    if (beginning_) {
      beginFailure_ = reason;
      return;
    }
    return Fail(reason);
  }
  environment_ = ComPtr<ICoreWebView2Environment>::Share(environment);
  std::shared_ptr<PageLink> link = link_;
  auto done = MakeCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
      IID_ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
      std::function<HRESULT(HRESULT, ICoreWebView2Controller*)>(
          [link](HRESULT result, ICoreWebView2Controller* controller) {
            if (link->page) {
              link->page->OnController(result, controller);
            } else if (controller) {
              // The window gave up waiting and shows the other engine: this one must not
              // appear over it.
              controller->Close();
            }
            return S_OK;
          }));
  result = environment_->CreateCoreWebView2Controller(host_, done.Get());
  if (FAILED(result)) {
    std::string reason = "WebView2 控件创建失败（" + HresultText(result) + "）";
    if (beginning_) {
      beginFailure_ = reason;
      return;
    }
    Fail(reason);
  }
}

void Page::OnController(HRESULT result, ICoreWebView2Controller* controller) {
  if (FAILED(result) || !controller) {
    return Fail("WebView2 控件创建失败（" + HresultText(result) + "）");
  }
  controller_ = ComPtr<ICoreWebView2Controller>::Share(controller);
  if (FAILED(controller_->get_CoreWebView2(webview_.Put())) || !webview_) {
    controller_->Close();
    controller_.Reset();
    return Fail("WebView2 没有给出网页对象");
  }
  ComPtr<ICoreWebView2Settings> settings;
  if (SUCCEEDED(webview_->get_Settings(settings.Put())) && settings) {
    settings->put_AreDevToolsEnabled(kDeveloperFeatures);
    settings->put_AreDefaultContextMenusEnabled(kDeveloperFeatures);
  }

  std::shared_ptr<PageLink> link = link_;
  auto onTitle = MakeCallback<ICoreWebView2DocumentTitleChangedEventHandler>(
      IID_ICoreWebView2DocumentTitleChangedEventHandler,
      std::function<HRESULT(ICoreWebView2*, IUnknown*)>([link](ICoreWebView2* sender, IUnknown*) {
        RuntimeText title;
        if (link->page && sender && SUCCEEDED(sender->get_DocumentTitle(title.Put()))) {
          auto handler = link->page->events_.titleChanged;  // it may destroy the page
          if (handler) handler(title.Utf8());
        }
        return S_OK;
      }));
  titleHooked_ = SUCCEEDED(webview_->add_DocumentTitleChanged(onTitle.Get(), &titleToken_));
  auto onNewWindow = MakeCallback<ICoreWebView2NewWindowRequestedEventHandler>(
      IID_ICoreWebView2NewWindowRequestedEventHandler,
      std::function<HRESULT(ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs*)>(
          [link](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
            if (link->page && args) link->page->OnNewWindow(args);
            return S_OK;
          }));
  newWindowHooked_ =
      SUCCEEDED(webview_->add_NewWindowRequested(onNewWindow.Get(), &newWindowToken_));
  controller_->put_IsVisible(TRUE);

  RuntimeText version;
  std::string engine = "WebView2";
  if (SUCCEEDED(environment_->get_BrowserVersionString(version.Put()))) {
    engine += "（运行时 " + version.Utf8() + "）";
  }
  auto handler = events_.ready;  // it may destroy the page
  if (handler) handler(engine);
}

void Page::OnNewWindow(ICoreWebView2NewWindowRequestedEventArgs* args) {
  // The cashier application stays in its one window; what it opens in a new one (a help
  // page, a payment provider's receipt) goes to the shop's default browser.
  args->put_Handled(TRUE);
  RuntimeText uri;
  if (SUCCEEDED(args->get_Uri(uri.Put())) && IsWebAddress(uri.Wide())) {
    ShellExecuteW(nullptr, L"open", uri.Wide().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}

void Page::Fail(const std::string& reason) {
  auto handler = events_.failed;
  if (handler) handler(reason);
}

Page::~Page() {
  link_->page = nullptr;
  if (webview_) {
    if (titleHooked_) webview_->remove_DocumentTitleChanged(titleToken_);
    if (newWindowHooked_) webview_->remove_NewWindowRequested(newWindowToken_);
  }
  // Closing ends the runtime's window in ours before the host window goes.
  if (controller_) controller_->Close();
}

}  // namespace

std::unique_ptr<WebView2Page> WebView2Page::Start(HWND host, WebView2Events events,
                                                  std::string& whyNot) {
  CreateEnvironment create = LoaderEntry(whyNot);
  if (!create) return nullptr;
  std::wstring userData = UserDataFolder();
  if (userData.empty()) {
    whyNot = "找不到本地应用数据文件夹（WebView2 的用户数据放在那里）";
    return nullptr;
  }
  auto page = std::make_unique<Page>(host, std::move(events));
  if (!page->Begin(create, userData, whyNot)) return nullptr;
  return page;
}

}  // namespace qv::ui::win32
