/* A stand-in for the SDK's WebView2Loader.dll, for the window tests under Wine (where no
 * WebView2 runtime runs). Put beside the program as WebView2Loader.dll, it exports
 * CreateCoreWebView2EnvironmentWithOptions and behaves as the environment variable
 * QV_FAKE_WEBVIEW2 says:
 *   fail  the call fails at once, as the real loader does on a till without a runtime;
 *   hang  the call succeeds and the environment never comes;
 *   ok    environment, controller and page come through the caller's message loop. The page
 *         paints its address into a child window of the host, its title is "Fake: " + the
 *         address, and an address containing "popup" makes the page ask for a new window
 *         (for the file: address below, which must never reach the shell).
 * Every call of interest is appended as a line to the file QV_FAKE_WEBVIEW2_RECORD (UTF-8):
 * create, controller, bounds, visible, focus, navigate, devtools, contextmenus, close,
 * new-window, and when the DLL is unloaded "left refs=N handlers=M": the references that
 * the program still held on the fake's objects, and the program's handlers the fake still
 * held because they were never removed. Written in C against the SDK header's vtables:
 * a method the program is not expected to call is a null slot and crashes loudly. */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "WebView2.h"

static LONG g_refs;     /* references on fake objects that someone other than the fake holds */
static LONG g_handlers; /* the program's handlers that the fake holds */

static void Record(const char* format, ...) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("QV_FAKE_WEBVIEW2_RECORD", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  FILE* file = fopen(path, "ab");
  if (!file) return;
  va_list args;
  va_start(args, format);
  vfprintf(file, format, args);
  va_end(args);
  fputs("\n", file);
  fclose(file);
}

static void Utf8(const wchar_t* text, char* out, int size) {
  out[0] = 0;
  if (text) WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, NULL, NULL);
}

static LPWSTR Copy(const wchar_t* text) {
  size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  LPWSTR copy = (LPWSTR)CoTaskMemAlloc(bytes);
  if (copy) memcpy(copy, text, bytes);
  return copy;
}

static void HoldHandler(IUnknown* handler) {
  handler->lpVtbl->AddRef(handler);
  InterlockedIncrement(&g_handlers);
}

static void DropHandler(IUnknown** handler) {
  if (!*handler) return;
  (*handler)->lpVtbl->Release(*handler);
  *handler = NULL;
  InterlockedDecrement(&g_handlers);
}

/* ---- objects ---------------------------------------------------------------------------- */

typedef struct {
  ICoreWebView2Settings iface;
  LONG refs;
} Settings;

typedef struct {
  ICoreWebView2NewWindowRequestedEventArgs iface;
  LONG refs;
  BOOL handled;
} NewWindowArgs;

typedef struct {
  ICoreWebView2 iface;
  wchar_t url[1024];
  wchar_t title[1100];
  ICoreWebView2DocumentTitleChangedEventHandler* onTitle;
  ICoreWebView2NewWindowRequestedEventHandler* onNewWindow;
} Page;

typedef struct {
  ICoreWebView2Controller iface;
  LONG refs;
  HWND window; /* the page's child window in the host */
  Page page;   /* the page lives as long as its controller */
} Controller;

typedef struct {
  ICoreWebView2Environment iface;
  LONG refs;
} Environment;

static Environment g_environment;
static Controller g_controller;
static ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* g_environmentDone;
static ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* g_controllerDone;

#define COUNTED_OBJECT(Type, Iface, iid)                                                        \
  static HRESULT STDMETHODCALLTYPE Type##QueryInterface(Iface* self, REFIID riid, void** out) { \
    if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &iid)) {                          \
      *out = NULL;                                                                              \
      return E_NOINTERFACE;                                                                     \
    }                                                                                           \
    *out = self;                                                                                \
    self->lpVtbl->AddRef(self);                                                                 \
    return S_OK;                                                                                \
  }                                                                                             \
  static ULONG STDMETHODCALLTYPE Type##AddRef(Iface* self) {                                    \
    InterlockedIncrement(&g_refs);                                                              \
    return (ULONG)InterlockedIncrement(&((Type*)self)->refs);                                   \
  }                                                                                             \
  static ULONG STDMETHODCALLTYPE Type##Release(Iface* self) {                                   \
    InterlockedDecrement(&g_refs);                                                              \
    LONG left = InterlockedDecrement(&((Type*)self)->refs);                                     \
    if (left == 0) Type##Gone((Type*)self);                                                     \
    return (ULONG)left;                                                                         \
  }

static void SettingsGone(Settings* settings) { HeapFree(GetProcessHeap(), 0, settings); }
static void NewWindowArgsGone(NewWindowArgs* args) { HeapFree(GetProcessHeap(), 0, args); }
static void ControllerGone(Controller* controller) { (void)controller; }
static void EnvironmentGone(Environment* environment) { (void)environment; }

COUNTED_OBJECT(Settings, ICoreWebView2Settings, IID_ICoreWebView2Settings)
COUNTED_OBJECT(NewWindowArgs, ICoreWebView2NewWindowRequestedEventArgs,
               IID_ICoreWebView2NewWindowRequestedEventArgs)
COUNTED_OBJECT(Controller, ICoreWebView2Controller, IID_ICoreWebView2Controller)
COUNTED_OBJECT(Environment, ICoreWebView2Environment, IID_ICoreWebView2Environment)

/* The page's references count on its controller, which owns it. */
static HRESULT STDMETHODCALLTYPE PageQueryInterface(ICoreWebView2* self, REFIID riid, void** out) {
  if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_ICoreWebView2)) {
    *out = NULL;
    return E_NOINTERFACE;
  }
  *out = self;
  self->lpVtbl->AddRef(self);
  return S_OK;
}
static ULONG STDMETHODCALLTYPE PageAddRef(ICoreWebView2* self) {
  (void)self;
  return ControllerAddRef(&g_controller.iface);
}
static ULONG STDMETHODCALLTYPE PageRelease(ICoreWebView2* self) {
  (void)self;
  return ControllerRelease(&g_controller.iface);
}

/* ---- settings ----------------------------------------------------------------------------- */

static HRESULT STDMETHODCALLTYPE SettingsDevTools(ICoreWebView2Settings* self, BOOL on) {
  (void)self;
  Record("devtools %d", on ? 1 : 0);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE SettingsContextMenus(ICoreWebView2Settings* self, BOOL on) {
  (void)self;
  Record("contextmenus %d", on ? 1 : 0);
  return S_OK;
}
static ICoreWebView2SettingsVtbl g_settingsVtbl = {
    .QueryInterface = SettingsQueryInterface,
    .AddRef = SettingsAddRef,
    .Release = SettingsRelease,
    .put_AreDevToolsEnabled = SettingsDevTools,
    .put_AreDefaultContextMenusEnabled = SettingsContextMenus,
};

/* ---- new-window request ------------------------------------------------------------------- */

static const wchar_t kPopupAddress[] = L"file:///C:/windows/system32/calc.exe";

static HRESULT STDMETHODCALLTYPE ArgsUri(ICoreWebView2NewWindowRequestedEventArgs* self,
                                         LPWSTR* uri) {
  (void)self;
  *uri = Copy(kPopupAddress);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE ArgsHandled(ICoreWebView2NewWindowRequestedEventArgs* self,
                                             BOOL handled) {
  ((NewWindowArgs*)self)->handled = handled;
  return S_OK;
}
static ICoreWebView2NewWindowRequestedEventArgsVtbl g_argsVtbl = {
    .QueryInterface = NewWindowArgsQueryInterface,
    .AddRef = NewWindowArgsAddRef,
    .Release = NewWindowArgsRelease,
    .get_Uri = ArgsUri,
    .put_Handled = ArgsHandled,
};

/* ---- page --------------------------------------------------------------------------------- */

static void CALLBACK TitleTick(HWND hwnd, UINT message, UINT_PTR id, DWORD time) {
  (void)hwnd, (void)message, (void)time;
  KillTimer(NULL, id);
  Page* page = &g_controller.page;
  if (page->onTitle) page->onTitle->lpVtbl->Invoke(page->onTitle, &page->iface, NULL);
}

static void CALLBACK PopupTick(HWND hwnd, UINT message, UINT_PTR id, DWORD time) {
  (void)hwnd, (void)message, (void)time;
  KillTimer(NULL, id);
  Page* page = &g_controller.page;
  if (!page->onNewWindow) return;
  NewWindowArgs* args = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *args);
  args->iface.lpVtbl = &g_argsVtbl;
  args->refs = 1;
  InterlockedIncrement(&g_refs);
  page->onNewWindow->lpVtbl->Invoke(page->onNewWindow, &page->iface, &args->iface);
  Record("new-window handled=%d", args->handled ? 1 : 0);
  NewWindowArgsRelease(&args->iface);
}

static HRESULT STDMETHODCALLTYPE PageNavigate(ICoreWebView2* self, LPCWSTR uri) {
  Page* page = (Page*)self;
  char text[4096];
  Utf8(uri, text, sizeof text);
  Record("navigate %s", text);
  lstrcpynW(page->url, uri, 1024);
  swprintf(page->title, 1100, L"Fake: %ls", page->url);
  InvalidateRect(g_controller.window, NULL, TRUE);
  SetTimer(NULL, 0, 100, TitleTick);
  if (wcsstr(uri, L"popup")) SetTimer(NULL, 0, 150, PopupTick);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE PageSettings(ICoreWebView2* self, ICoreWebView2Settings** out) {
  (void)self;
  Settings* settings = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *settings);
  settings->iface.lpVtbl = &g_settingsVtbl;
  settings->refs = 1;
  InterlockedIncrement(&g_refs);
  *out = &settings->iface;
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE PageAddTitle(ICoreWebView2* self,
                                              ICoreWebView2DocumentTitleChangedEventHandler* h,
                                              EventRegistrationToken* token) {
  Page* page = (Page*)self;
  DropHandler((IUnknown**)&page->onTitle);
  HoldHandler((IUnknown*)h);
  page->onTitle = h;
  token->value = 1;
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE PageRemoveTitle(ICoreWebView2* self,
                                                 EventRegistrationToken token) {
  if (token.value == 1) DropHandler((IUnknown**)&((Page*)self)->onTitle);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE PageTitle(ICoreWebView2* self, LPWSTR* title) {
  *title = Copy(((Page*)self)->title);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE PageAddNewWindow(ICoreWebView2* self,
                                                  ICoreWebView2NewWindowRequestedEventHandler* h,
                                                  EventRegistrationToken* token) {
  Page* page = (Page*)self;
  DropHandler((IUnknown**)&page->onNewWindow);
  HoldHandler((IUnknown*)h);
  page->onNewWindow = h;
  token->value = 2;
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE PageRemoveNewWindow(ICoreWebView2* self,
                                                     EventRegistrationToken token) {
  if (token.value == 2) DropHandler((IUnknown**)&((Page*)self)->onNewWindow);
  return S_OK;
}
static ICoreWebView2Vtbl g_pageVtbl = {
    .QueryInterface = PageQueryInterface,
    .AddRef = PageAddRef,
    .Release = PageRelease,
    .get_Settings = PageSettings,
    .Navigate = PageNavigate,
    .add_NewWindowRequested = PageAddNewWindow,
    .remove_NewWindowRequested = PageRemoveNewWindow,
    .add_DocumentTitleChanged = PageAddTitle,
    .remove_DocumentTitleChanged = PageRemoveTitle,
    .get_DocumentTitle = PageTitle,
};

/* ---- the page's window ------------------------------------------------------------------ */

static LRESULT CALLBACK PageWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT area;
    GetClientRect(hwnd, &area);
    HBRUSH background = CreateSolidBrush(RGB(225, 240, 255));
    FillRect(dc, &area, background);
    DeleteObject(background);
    wchar_t text[1200];
    swprintf(text, 1200, L"fake WebView2 page\n%ls", g_controller.page.url);
    SetBkMode(dc, TRANSPARENT);
    InflateRect(&area, -20, -20);
    DrawTextW(dc, text, -1, &area, DT_LEFT | DT_TOP | DT_WORDBREAK);
    EndPaint(hwnd, &paint);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

/* ---- controller --------------------------------------------------------------------------- */

static HRESULT STDMETHODCALLTYPE ControllerVisible(ICoreWebView2Controller* self, BOOL visible) {
  Record("visible %d", visible ? 1 : 0);
  ShowWindow(((Controller*)self)->window, visible ? SW_SHOWNA : SW_HIDE);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE ControllerBounds(ICoreWebView2Controller* self, RECT bounds) {
  Record("bounds %ld %ld %ld %ld", bounds.left, bounds.top, bounds.right, bounds.bottom);
  MoveWindow(((Controller*)self)->window, bounds.left, bounds.top, bounds.right - bounds.left,
             bounds.bottom - bounds.top, TRUE);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE ControllerFocus(ICoreWebView2Controller* self,
                                                 COREWEBVIEW2_MOVE_FOCUS_REASON reason) {
  (void)reason;
  Record("focus");
  SetFocus(((Controller*)self)->window);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE ControllerClose(ICoreWebView2Controller* self) {
  Controller* controller = (Controller*)self;
  Record("close");
  DestroyWindow(controller->window);
  controller->window = NULL;
  /* A closed page raises no more events: the runtime lets go of the handlers. */
  DropHandler((IUnknown**)&controller->page.onTitle);
  DropHandler((IUnknown**)&controller->page.onNewWindow);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE ControllerPage(ICoreWebView2Controller* self,
                                                ICoreWebView2** page) {
  Controller* controller = (Controller*)self;
  *page = &controller->page.iface;
  PageAddRef(*page);
  return S_OK;
}
static ICoreWebView2ControllerVtbl g_controllerVtbl = {
    .QueryInterface = ControllerQueryInterface,
    .AddRef = ControllerAddRef,
    .Release = ControllerRelease,
    .put_IsVisible = ControllerVisible,
    .put_Bounds = ControllerBounds,
    .MoveFocus = ControllerFocus,
    .Close = ControllerClose,
    .get_CoreWebView2 = ControllerPage,
};

static void CALLBACK ControllerTick(HWND hwnd, UINT message, UINT_PTR id, DWORD time) {
  (void)hwnd, (void)message, (void)time;
  KillTimer(NULL, id);
  g_controller.refs = 1; /* the one the handler's caller gets to share */
  InterlockedIncrement(&g_refs);
  g_controllerDone->lpVtbl->Invoke(g_controllerDone, S_OK, &g_controller.iface);
  ControllerRelease(&g_controller.iface);
  DropHandler((IUnknown**)&g_controllerDone);
}

/* ---- environment -------------------------------------------------------------------------- */

static HRESULT STDMETHODCALLTYPE
EnvironmentCreateController(ICoreWebView2Environment* self, HWND parent,
                            ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* done) {
  (void)self;
  WNDCLASSW cls = {0};
  cls.lpfnWndProc = PageWindowProc;
  cls.hInstance = GetModuleHandleW(NULL);
  cls.lpszClassName = L"FakeWebView2Page";
  cls.hCursor = LoadCursorW(NULL, MAKEINTRESOURCEW(32512));
  RegisterClassW(&cls);
  g_controller.iface.lpVtbl = &g_controllerVtbl;
  g_controller.page.iface.lpVtbl = &g_pageVtbl;
  g_controller.window = CreateWindowExW(0, L"FakeWebView2Page", L"", WS_CHILD, 0, 0, 0, 0, parent,
                                        NULL, cls.hInstance, NULL);
  char className[64] = "";
  GetClassNameA(parent, className, sizeof className);
  Record("controller parent=%s", className);
  HoldHandler((IUnknown*)done);
  g_controllerDone = done;
  SetTimer(NULL, 0, 200, ControllerTick);
  return S_OK;
}
static HRESULT STDMETHODCALLTYPE EnvironmentVersion(ICoreWebView2Environment* self,
                                                    LPWSTR* version) {
  (void)self;
  *version = Copy(L"0.0.0.0-fake");
  return S_OK;
}
static ICoreWebView2EnvironmentVtbl g_environmentVtbl = {
    .QueryInterface = EnvironmentQueryInterface,
    .AddRef = EnvironmentAddRef,
    .Release = EnvironmentRelease,
    .CreateCoreWebView2Controller = EnvironmentCreateController,
    .get_BrowserVersionString = EnvironmentVersion,
};

static void CALLBACK EnvironmentTick(HWND hwnd, UINT message, UINT_PTR id, DWORD time) {
  (void)hwnd, (void)message, (void)time;
  KillTimer(NULL, id);
  g_environment.iface.lpVtbl = &g_environmentVtbl;
  g_environment.refs = 1;
  InterlockedIncrement(&g_refs);
  g_environmentDone->lpVtbl->Invoke(g_environmentDone, S_OK, &g_environment.iface);
  EnvironmentRelease(&g_environment.iface);
  DropHandler((IUnknown**)&g_environmentDone);
}

__declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserFolder, PCWSTR userDataFolder, ICoreWebView2EnvironmentOptions* options,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* done) {
  (void)browserFolder, (void)options;
  char mode[16] = "";
  GetEnvironmentVariableA("QV_FAKE_WEBVIEW2", mode, sizeof mode);
  char folder[1024];
  Utf8(userDataFolder, folder, sizeof folder);
  Record("create mode=%s userdata=%s", mode, folder);
  if (strcmp(mode, "fail") == 0) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  HoldHandler((IUnknown*)done);
  g_environmentDone = done;
  if (strcmp(mode, "ok") == 0) SetTimer(NULL, 0, 200, EnvironmentTick);
  return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance, (void)reserved;
  if (reason == DLL_PROCESS_DETACH) Record("left refs=%ld handlers=%ld", g_refs, g_handlers);
  return TRUE;
}
