#include "ui/win32/win32_controls.h"

#include <commctrl.h>

#include "ui/win32/page_browser.h"

namespace qv::ui::win32 {
namespace {

// The edit control shows a line break only as "\r\n".
std::string WithCrLf(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
    result += text[i];
  }
  return result;
}

// A drop-down list's window height includes its open list; this much shows several items.
constexpr int kDropDownListHeight = 160;

// The static control type of a label. SS_CENTERIMAGE, set beside it, keeps each one a single
// line centred vertically.
DWORD LabelType(TextAlign align) {
  switch (align) {
    case TextAlign::Center:
      return SS_CENTER;
    case TextAlign::Right:
      return SS_RIGHT;
    case TextAlign::Left:
      break;
  }
  return SS_LEFTNOWORDWRAP;
}

class Win32Control : public ControlImpl {
 public:
  Win32Control(HWND hwnd, ControlKind kind, Control& control)
      : hwnd_(hwnd), kind_(kind), control_(control) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~Win32Control() override {
    if (IsWindow(hwnd_.get())) SetWindowLongPtrW(hwnd_.get(), GWLP_USERDATA, 0);
  }

  HWND Hwnd() const { return hwnd_.get(); }

  // Takes design bounds; places the control at its window's DPI, with the font for it.
  void SetBoundsImpl(const Rect& r) override {
    const UINT dpi = WindowDpi(Hwnd());
    if (dpi != fontDpi_) {
      fontDpi_ = dpi;
      HFONT font = fixedPitch_ ? FixedPitchFont(dpi) : UiFont(dpi);
      SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    const Rect px = Device(r);
    int height = px.height;
    if (kind_ == ControlKind::DropDownList) height += Px(kDropDownListHeight, dpi);
    MoveWindow(Hwnd(), px.left, px.top, px.width, height, TRUE);
  }
  // Design bounds in the device pixels of the control's window.
  Rect Device(const Rect& r) const { return ToDevice(r, WindowDpi(Hwnd()) / 96.0); }
  // Showing never restacks (creation order is tab order); controls lie above a web browser
  // anyway (KeepBrowsersAtBottom).
  void SetVisibleImpl(bool visible) override { ShowWindow(Hwnd(), visible ? SW_SHOW : SW_HIDE); }
  void SetTextImpl(const std::string& text) override {
    SetWindowTextW(Hwnd(), Wide(kind_ == ControlKind::TextBox ? WithCrLf(text) : text).c_str());
  }
  std::string TextImpl() const override { return WindowText(Hwnd()); }

  // A static control reads its alignment from its style when it paints.
  void SetAlignmentImpl(TextAlign align) override {
    LONG_PTR style = GetWindowLongPtrW(Hwnd(), GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK);
    style |= LabelType(align);
    SetWindowLongPtrW(Hwnd(), GWL_STYLE, style);
    InvalidateRect(Hwnd(), nullptr, TRUE);
  }

  void SetCheckedImpl(bool checked) override {
    SendMessageW(Hwnd(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  bool CheckedImpl() const override {
    return SendMessageW(Hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }

  void AddItemImpl(const std::string& item) override {
    SendMessageW(Hwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
  }
  void SelectImpl(int index) override { SendMessageW(Hwnd(), CB_SETCURSEL, index, 0); }
  void ClearItemsImpl() override { SendMessageW(Hwnd(), CB_RESETCONTENT, 0, 0); }
  int SelectedImpl() const override {
    return static_cast<int>(SendMessageW(Hwnd(), CB_GETCURSEL, 0, 0));
  }

  // The edit control's wrapping is fixed at its creation; its lines wrap at the box's edge.
  void SetFixedPitchImpl() override {
    if (kind_ != ControlKind::TextBox) return;
    fixedPitch_ = true;
    const UINT dpi = WindowDpi(Hwnd());
    fontDpi_ = dpi;
    SendMessageW(Hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(FixedPitchFont(dpi)), TRUE);
  }

  void AppendTextImpl(const std::string& text) override {
    int end = GetWindowTextLengthW(Hwnd());
    SendMessageW(Hwnd(), EM_SETSEL, end, end);
    SendMessageW(Hwnd(), EM_REPLACESEL, FALSE,
                 reinterpret_cast<LPARAM>(Wide(WithCrLf(text)).c_str()));
    SendMessageW(Hwnd(), EM_SCROLLCARET, 0, 0);
  }

  // A notification from the control, routed by its parent's WM_COMMAND.
  void Command(WORD code) {
    if (code == BN_CLICKED && (kind_ == ControlKind::Button || kind_ == ControlKind::CheckBox)) {
      ControlEvents::Clicked(control_);
    } else if (code == CBN_SELCHANGE && kind_ == ControlKind::DropDownList) {
      ControlEvents::SelectionChanged(control_);
    }
  }

 protected:
  HwndPtr hwnd_;
  ControlKind kind_;
  Control& control_;
  UINT fontDpi_ = 0;  // the DPI of the font the control has, 0 before the first
  bool fixedPitch_ = false;
};

// A tab control with one page; the page is a child window of ours that takes the controls
// and routes their notifications.
class Win32TabPage : public Win32Control, public ContainerImpl {
 public:
  Win32TabPage(HWND tab, const std::string& caption, Control& control)
      : Win32Control(tab, ControlKind::TabPage, control) {
    std::wstring text = Wide(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(tab, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    page_.reset(CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, L"",
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, tab, nullptr,
                                Instance(), nullptr));
  }

  void SetBoundsImpl(const Rect& r) override {
    Win32Control::SetBoundsImpl(r);
    const Rect px = Device(r);
    RECT area{0, 0, px.width, px.height};
    SendMessageW(Hwnd(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    MoveWindow(page_.get(), area.left, area.top, area.right - area.left, area.bottom - area.top,
               TRUE);
  }
  void SetTextImpl(const std::string&) override {}
  std::string TextImpl() const override { return {}; }

  ContainerImpl* AsContainer() override { return this; }
  std::unique_ptr<ControlImpl> CreateControlImpl(ControlKind kind, const std::string& text,
                                                 const Rect& bounds, Control& control) override {
    return CreateWin32Control(page_.get(), kind, text, bounds, control);
  }

 private:
  HwndPtr page_;  // destroyed before the tab control that holds it
};

class Win32Browser : public Win32Control {
 public:
  Win32Browser(HWND host, Control& control)
      : Win32Control(host, ControlKind::WebBrowser, control),
        browser_(host, {[&control](const std::string& title) {
                          ControlEvents::TitleChanged(control, title);
                        },
                        [&control](const std::string& engine) {
                          ControlEvents::EngineChosen(control, engine);
                        }}) {}

  void SetBoundsImpl(const Rect& r) override {
    Win32Control::SetBoundsImpl(r);
    const Rect px = Device(r);
    browser_.Resize(px.width, px.height);
  }
  void SetVisibleImpl(bool visible) override {
    Win32Control::SetVisibleImpl(visible);
    browser_.SetVisible(visible);
  }
  void SetTextImpl(const std::string&) override {}
  std::string TextImpl() const override { return {}; }
  void NavigateImpl(const std::string& url) override { browser_.Navigate(url); }

 private:
  PageBrowser browser_;
};

struct ControlClass {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle;
};

ControlClass ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
      return {L"STATIC", LabelType(TextAlign::Left) | SS_NOPREFIX | SS_CENTERIMAGE, 0};
    case ControlKind::Button:
      return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
    case ControlKind::EditBox:
      return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::CheckBox:
      return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case ControlKind::DropDownList:
      return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::TextBox:
      return {L"EDIT", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::WebBrowser:
      return {kBrowserHostClass, WS_CLIPCHILDREN, 0};
    case ControlKind::TabPage:
      return {WC_TABCONTROLW, WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_TABSTOP, 0};
  }
  return {L"STATIC", 0, 0};
}

// Windows stacks each new child below its older siblings (creation order is tab order). A web
// page fills most of its window, so it goes below every other control, made before or after
// it, like the buttons over the cashier page.
void KeepBrowsersAtBottom(HWND parent) {
  wchar_t cls[64];
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetClassNameW(child, cls, 64) && lstrcmpW(cls, kBrowserHostClass) == 0) {
      SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      return;  // one browser per window; the loop must not follow it to the bottom
    }
  }
}

}  // namespace

bool RouteCommand(WPARAM wParam, LPARAM lParam) {
  auto child = reinterpret_cast<HWND>(lParam);
  if (!child) return false;  // menus and accelerators
  auto* control = reinterpret_cast<Win32Control*>(GetWindowLongPtrW(child, GWLP_USERDATA));
  if (!control) return false;
  control->Command(HIWORD(wParam));
  return true;
}

HWND CreateActionButton(HWND parent, UINT id, const std::string& caption) {
  HWND button =
      CreateWindowExW(0, L"BUTTON", Wide(caption).c_str(),
                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0,
                      0, parent, reinterpret_cast<HMENU>(UINT_PTR{id}), Instance(), nullptr);
  KeepBrowsersAtBottom(parent);
  return button;
}

std::unique_ptr<ControlImpl> CreateWin32Control(HWND parent, ControlKind kind,
                                                const std::string& text, const Rect& bounds,
                                                Control& control) {
  ControlClass cls = ClassOf(kind);
  std::wstring caption =
      kind == ControlKind::TabPage || kind == ControlKind::WebBrowser ? L"" : Wide(text);
  HWND hwnd =
      CreateWindowExW(cls.exStyle, cls.className, caption.c_str(),
                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | cls.style, bounds.left, bounds.top,
                      bounds.width, bounds.height, parent, nullptr, Instance(), nullptr);
  std::unique_ptr<Win32Control> made;
  switch (kind) {
    case ControlKind::TabPage:
      made = std::make_unique<Win32TabPage>(hwnd, text, control);
      break;
    case ControlKind::WebBrowser:
      made = std::make_unique<Win32Browser>(hwnd, control);
      break;
    default:
      made = std::make_unique<Win32Control>(hwnd, kind, control);
      break;
  }
  if (kind == ControlKind::Label || kind == ControlKind::CheckBox ||
      kind == ControlKind::DropDownList) {
    // The layouts place a label, check box or list partly over an older neighbour
    // ("打印服务：" reaches into the status text beside it). Below that neighbour its first
    // characters would be cut off; above it, only the neighbour's empty right end is covered.
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  KeepBrowsersAtBottom(parent);
  if (kind == ControlKind::TextBox) {
    // The debug view grows all day; lift the 32K default limit of multi-line edits.
    SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
  }
  made->SetBoundsImpl(bounds);
  return made;
}

}  // namespace qv::ui::win32
