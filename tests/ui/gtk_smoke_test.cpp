// The GTK backend on a real X display (run under xvfb-run): windows and controls are created
// with their captions, a WebKit view loads a page from a loopback server and reports its
// Chinese title, and the close button goes through the close handler. Leaves a screenshot,
// ui_gtk_smoke.png, in the working directory.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/ui/posted_tasks_check.h"
#include "ui/gtk/gtk_toolkit.h"
#include "ui/gtk/gtk_widgets.h"

namespace qv::ui {
namespace {

constexpr const char* kPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>收银台·测试页</title></head>"
    "<body style=\"font-size:28px\"><h1>打印服务 测试页</h1><p>门店ID 与 "
    "小票打印</p></body></html>";

class LoopbackPage {
 public:
  LoopbackPage() {
    server_.Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(kPage, "text/html; charset=utf-8");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~LoopbackPage() {
    server_.stop();
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

GtkWindow* NativeWindow(Window& window) {
  return dynamic_cast<gtk::GtkWindowImpl&>(window.WindowBackend()).Toplevel();
}

// Runs the toolkit's loop for about `ms` milliseconds.
void Pump(Toolkit& toolkit, int ms) {
  auto stop = toolkit.CreateTimer([&] { toolkit.Quit(0); });
  stop->SetInterval(ms);
  toolkit.Run();
}

GtkWidget* FindLabel(GtkWidget* widget, const std::string& text) {
  if (GTK_IS_LABEL(widget) && text == gtk_label_get_text(GTK_LABEL(widget))) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* c = children; c && !found; c = c->next) found = FindLabel(GTK_WIDGET(c->data), text);
  g_list_free(children);
  return found;
}

// Where the drawn text of a label lies on the window or tab page that holds it: the left edge
// of its first character and the right edge of its last.
struct Span {
  int left;
  int right;
};
Span TextSpan(Window& window, const std::string& text) {
  GtkWidget* label = FindLabel(GTK_WIDGET(NativeWindow(window)), text);
  if (!label) return {-1000, -1000};
  GtkAllocation own{};
  gtk_widget_get_allocation(label, &own);
  int layoutX = 0, layoutY = 0;
  gtk_label_get_layout_offsets(GTK_LABEL(label), &layoutX, &layoutY);
  int originX = 0, originY = 0;
  gtk_widget_translate_coordinates(label, gtk_widget_get_parent(label), 0, 0, &originX, &originY);
  PangoRectangle ink{}, logical{};
  pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(label)), &ink, &logical);
  const int left = originX + layoutX - own.x + logical.x;
  return {left, left + logical.width};
}

TEST(GtkSmoke, WindowsControlsBrowserTitleAndScreenshot) {
  auto toolkit = CreateGtkToolkit();
  ASSERT_NE(toolkit, nullptr) << "no X display (run under xvfb-run)";
  LoopbackPage page;

  // A configuration window like the shell's, with a tab page and every kind of control.
  auto settings = toolkit->NewWindow({.title = "设置", .clientWidth = 580, .clientHeight = 280});
  TabPage* tab = settings->AddTabPage("打印服务设置", {0, 0, 580, 280});
  tab->AddLabel("服务器地址：", {11, 15, 96, 26});
  EditBox* server = tab->AddEditBox("cloud.example", {102, 10, 392, 32});
  // The two captions that start left of the page, right-aligned as the shell has them.
  tab->AddLabel("打印完成走纸：", {-5, 90, 111, 26})->setAlignment(TextAlign::Right);
  tab->AddLabel("将USB打印替换为：", {-13, 135, 143, 26})->setAlignment(TextAlign::Right);
  DropDownList* usb = tab->AddDropDownList({123, 131, 120, 32});
  usb->AddItem("保持USB打印", 0);
  usb->AddItem("LPT1", 1);
  usb->AddItem("LPT2", 2);
  usb->SelectValue(1);
  CheckBox* cut = tab->AddCheckBox("打印完成是否切纸", {263, 134, 152, 26});
  int cutClicks = 0;
  cut->OnClick([&] { ++cutClicks; });
  cut->SetChecked(true);  // no click event from a programmatic change
  Button* save = tab->AddButton("保存", {459, 190, 96, 48});
  settings->SetPosition(20, 20);
  settings->Show();

  auto cashier = toolkit->NewWindow(
      {.title = "Tillora", .clientWidth = 640, .clientHeight = 420, .resizable = Resizable::Yes});
  Label* notice = cashier->AddLabel("结束任务中请稍等", {176, 178, 288, 64});
  notice->setAlignment(TextAlign::Center);
  notice->Hide();
  WebBrowser* browser = cashier->AddWebBrowser({0, 50, 640, 370});
  TextBox* log = cashier->AddTextBox({0, 0, 640, 48});
  log->AppendText("[12:00:01]：开始打印\r\n");
  log->AppendText("[12:00:02]：打印完成\r\n");
  browser->OnTitleChanged([&](const std::string& title) {
    if (!title.empty()) cashier->SetTitle("Tillora - " + title);
  });
  cashier->AddTitleBarAction(3, "设置");
  cashier->AddTitleBarAction(4, "首页");
  cashier->SetPosition(620, 20);
  cashier->Show();
  browser->Navigate(page.Url());

  // Ends the loop a second after the title arrived (the page has drawn by then), or after
  // 30 seconds without it.
  std::unique_ptr<Timer> settle = toolkit->CreateTimer([&] {
    std::system("import -window root ui_gtk_smoke.png");
    toolkit->Quit(0);
  });
  std::unique_ptr<Timer> watch = toolkit->CreateTimer([&] {
    if (!browser->Title().empty() && settle->Interval() == 0) {
      notice->Show();  // must come up above the page
      settle->SetInterval(1000);
    }
  });
  watch->SetInterval(50);
  auto deadline = toolkit->CreateTimer([&] { toolkit->Quit(1); });
  deadline->SetInterval(30000);
  ASSERT_EQ(toolkit->Run(), 0) << "no page title within 30 s";

  EXPECT_EQ(browser->Title(), "收银台·测试页");
  EXPECT_EQ(cashier->Title(), "Tillora - 收银台·测试页");
  EXPECT_EQ(std::string(gtk_window_get_title(NativeWindow(*cashier))), "Tillora - 收银台·测试页");
  EXPECT_EQ(server->Text(), "cloud.example");
  EXPECT_EQ(usb->SelectedValue(), 1);
  EXPECT_TRUE(cut->IsChecked());
  EXPECT_EQ(cutClicks, 0);
  EXPECT_EQ(save->Text(), "保存");
  EXPECT_EQ(log->Text(), "[12:00:01]：开始打印\r\n[12:00:02]：打印完成\r\n");
  EXPECT_EQ(cashier->ClientSize(), (Size{640, 420}));

  // Right-aligned captions end where their bounds end and begin on the page, not left of it;
  // the centred notice has as much room on either side.
  for (const auto& [text, right] : std::vector<std::pair<std::string, int>>{
           {"打印完成走纸：", 106}, {"将USB打印替换为：", 130}}) {
    const Span span = TextSpan(*settings, text);
    EXPECT_GE(span.left, 0) << text;
    EXPECT_EQ(span.right, right) << text;
  }
  const Span noticeText = TextSpan(*cashier, "结束任务中请稍等");
  EXPECT_NEAR(noticeText.left - 176, 176 + 288 - noticeText.right, 1);

  // The window's close button asks the shell: refused first, then allowed.
  bool allow = false;
  int closed = 0;
  settings->OnCloseRequest([&] { return allow ? CloseReply::Allow : CloseReply::Refuse; });
  settings->OnClosed([&] { ++closed; });
  gtk_window_close(NativeWindow(*settings));
  while (gtk_events_pending()) gtk_main_iteration();
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(NativeWindow(*settings))));
  allow = true;
  gtk_window_close(NativeWindow(*settings));
  while (gtk_events_pending()) gtk_main_iteration();
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(NativeWindow(*settings))));

  // Destroying the windows releases every widget without warnings.
  settings.reset();
  cashier.reset();
}

TEST(GtkSmoke, RealClicksTimersAndTray) {
  auto toolkit = CreateGtkToolkit();
  ASSERT_NE(toolkit, nullptr);
  auto window = toolkit->NewWindow({.title = "打印服务", .clientWidth = 520, .clientHeight = 360});
  Button* toggle = window->AddButton("启动服务", {203, 176, 112, 48});
  toggle->OnClick([&] { toggle->SetText(toggle->Text() == "启动服务" ? "停止服务" : "启动服务"); });
  int rightClicks = 0;
  window->OnRightClick([&] { ++rightClicks; });
  // Without a window manager the window sits where it is put, frame and client alike.
  window->SetPosition(100, 100);
  window->Show();

  auto tray = toolkit->CreateTrayIcon([] {});
  tray->Show("Quorvel打印服务端");

  // xdotool sends real X pointer events, one step per tick: GTK's own event paths.
  const char* steps[] = {
      "xdotool mousemove 359 300 click 1",  // the button's centre
      "xdotool mousemove 130 130 click 3",  // empty client area
      "xdotool mousemove 140 140 click 3",
  };
  int ticks = 0;
  std::unique_ptr<Timer> timer;
  timer = toolkit->CreateTimer([&] {
    if (ticks < 3) std::system(steps[ticks]);
    if (++ticks == 6) {
      timer->SetInterval(0);
      toolkit->Quit(0);
    }
  });
  timer->SetInterval(300);
  EXPECT_EQ(toolkit->Run(), 0);
  EXPECT_EQ(ticks, 6);
  EXPECT_EQ(toggle->Text(), "停止服务");
  EXPECT_EQ(rightClicks, 2);
  EXPECT_TRUE(tray->IsShown());
  tray->Remove();
  EXPECT_FALSE(tray->IsShown());
}

TEST(GtkSmoke, MessageBoxesRunModallyAndReportTheButton) {
  auto toolkit = CreateGtkToolkit();
  ASSERT_NE(toolkit, nullptr);
  auto owner = toolkit->NewWindow({.title = "设置", .clientWidth = 400, .clientHeight = 200});
  owner->Show();
  // Another window of the program, asked to close while the box is open.
  auto other = toolkit->NewWindow({.title = "打印服务", .clientWidth = 300, .clientHeight = 200});
  other->SetPosition(500, 0);
  other->Show();
  int otherCloses = 0;
  other->OnCloseRequest([&] {
    ++otherCloses;
    return CloseReply::Allow;
  });

  // Timers keep running inside the dialog's own loop; this one answers like a user would.
  // Without a window manager nobody focuses the dialog, so xdotool focuses it first.
  std::string key;
  std::string caption;
  int attempts = 0;
  auto answer = toolkit->CreateTimer([&] {
    if (key.empty()) return;
    if (++attempts == 1) {
      std::system("import -window root ui_gtk_message.png");
      gtk_window_close(NativeWindow(*other));  // the window manager's close, while the box is up
    }
    if (attempts > 5) {
      ADD_FAILURE() << "the dialog did not take the key";
      GList* all = gtk_window_list_toplevels();
      for (GList* w = all; w; w = w->next) {
        if (GTK_IS_MESSAGE_DIALOG(w->data)) gtk_window_close(GTK_WINDOW(w->data));
      }
      g_list_free(all);
      return;
    }
    std::system(
        ("xdotool search --onlyvisible --name '^" + caption + "$' windowfocus key " + key).c_str());
  });
  answer->SetInterval(700);

  key = "Escape";
  caption = "询问";
  EXPECT_EQ(toolkit->ShowMessage(
                {.text = "确定取消Quorvel打印服务端吗，取消后您将需要手动启动才能进行打印。",
                 .caption = "询问",
                 .buttons = MessageButtons::OkCancel,
                 .icon = MessageIcon::Question,
                 .owner = owner.get()}),
            MessageResult::Cancel);
  EXPECT_EQ(otherCloses, 0) << "a window closed under the box";
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(NativeWindow(*other))));
  gtk_window_close(NativeWindow(*other));
  while (gtk_events_pending()) gtk_main_iteration();
  EXPECT_EQ(otherCloses, 1) << "closes again once the box is answered";

  key = "Return";
  caption = "错误";
  attempts = 1;
  EXPECT_EQ(toolkit->ShowMessage({.text = "门店ID填写错误，请核对！", .caption = "错误"}),
            MessageResult::Ok);
  key.clear();
}

// Tasks posted from another thread run on the loop's thread, in order, and a message box's
// own loop runs them too: here the posted task is what answers the box.
TEST(GtkSmoke, PostedTasksRunOnTheLoopAndUnderAMessageBox) {
  auto toolkit = CreateGtkToolkit();
  ASSERT_NE(toolkit, nullptr);
  ExpectPostedTasksRunOnTheLoopInOrder(*toolkit);

  bool openWhenRun = false;
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    toolkit->Post([&] {
      openWhenRun = toolkit->MessageOpen();
      GList* all = gtk_window_list_toplevels();
      for (GList* w = all; w; w = w->next) {
        if (GTK_IS_MESSAGE_DIALOG(w->data))
          gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
      }
      g_list_free(all);
    });
  });
  EXPECT_EQ(toolkit->ShowMessage({.text = "配置门店信息完成", .caption = "完成"}),
            MessageResult::Ok);
  late.join();
  EXPECT_TRUE(openWhenRun);
}

// A quit while a box waits for an answer nobody gives (a stop from the system on an
// unattended till) ends the box as a cancel would; a box asked for afterwards is not shown,
// and Run() returns at once.
TEST(GtkSmoke, AQuitClosesTheOpenMessageBox) {
  auto toolkit = CreateGtkToolkit();
  ASSERT_NE(toolkit, nullptr);
  std::thread stop([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    toolkit->Post([&] { toolkit->Quit(5); });
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(toolkit->ShowMessage({.text = "确定取消Quorvel打印服务端吗",
                                  .caption = "询问",
                                  .buttons = MessageButtons::OkCancel}),
            MessageResult::Cancel);
  stop.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_FALSE(toolkit->MessageOpen());
  EXPECT_EQ(toolkit->ShowMessage({.text = "配置门店信息完成", .caption = "完成"}),
            MessageResult::Ok);
  EXPECT_EQ(toolkit->Run(), 5);
}

// A window larger than the screen (1280 x 720 here) fills the monitor's work area instead of
// reaching past its edges, its controls where they were; one that fits is centred.
TEST(GtkSmoke, FirstPlacementKeepsWindowsOnTheScreen) {
  auto toolkit = CreateGtkToolkit();
  ASSERT_NE(toolkit, nullptr);
  GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default());
  if (!monitor) monitor = gdk_display_get_monitor(gdk_display_get_default(), 0);
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);

  auto cashier = toolkit->NewWindow(
      {.title = "Tillora", .clientWidth = 1280, .clientHeight = 800, .resizable = Resizable::Yes});
  cashier->AddTitleBarAction(3, "设置");
  // A button past the right edge of the window, where it stays.
  cashier->AddButton("按钮EX", {1240, 72, 80, 64});
  cashier->Show();
  auto service = toolkit->NewWindow({.title = "打印服务", .clientWidth = 525, .clientHeight = 355});
  service->Show();
  Pump(*toolkit, 700);

  // Frames on the screen. Client-side decorations (the header bar) keep a margin of a few
  // pixels around the window for their resize border, which may lie off the screen.
  constexpr int kMargin = 5;
  GdkRectangle big{}, small{};
  gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(NativeWindow(*cashier))), &big);
  gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(NativeWindow(*service))), &small);
  EXPECT_NEAR(big.x, area.x, kMargin);
  EXPECT_NEAR(big.y, area.y, kMargin);
  EXPECT_NEAR(big.x + big.width, area.x + area.width, kMargin);
  EXPECT_NEAR(big.y + big.height, area.y + area.height, kMargin) << "fills the work area";
  EXPECT_NEAR(small.x - area.x, area.x + area.width - (small.x + small.width), 1);
  EXPECT_NEAR(small.y - area.y, area.y + area.height - (small.y + small.height), 1);
  // The controls keep their places: the window does not scroll them to the left to bring the
  // focused button into view.
  GtkWidget* client = gtk_bin_get_child(GTK_BIN(NativeWindow(*cashier)));
  GtkWidget* test = gtk_widget_get_parent(FindLabel(client, "按钮EX"));
  int testX = 0, testY = 0;
  gtk_widget_translate_coordinates(test, client, 0, 0, &testX, &testY);
  EXPECT_EQ(testX, 1240);
  EXPECT_EQ(testY, 72);
  std::system("import -window root ui_gtk_placement.png");
}

}  // namespace
}  // namespace qv::ui
