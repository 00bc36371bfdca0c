// Drives a running flashwright.exe from outside, as a Windows automation tool would: the frame
// is found by its title, controls by their identifiers, buttons are pressed with BM_CLICK,
// texts read with WM_GETTEXT, the progress bar with PBM_GETPOS and message boxes found by their
// text. What it sees goes to stdout, one "name: value" line each (line breaks in texts as \n),
// for tools/wine/wine-tests.sh to compare.
//   wine_window_driver.exe pane [reader|usb]         the settled message pane and its colour
//   wine_window_driver.exe update [reader|usb] [yes|no]
//                                                     press Begin Update, answer "Try again?"
//   wine_window_driver.exe list <control id>          the items of a drop-down list
//   wine_window_driver.exe wait-item <control id> <text>  until the list holds an item with text
//   wine_window_driver.exe fit [reader|usb]           the frame's client area against its form
//   wine_window_driver.exe command <command id>       choose a menu command (posted to the frame)
//   wine_window_driver.exe close                      close the frame and wait for it to go
// Exit status 0 when the window did what was asked in time, 1 otherwise.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kPaneReader = 1000;
constexpr int kBeginReader = 1001;
constexpr int kProgressReader = 1003;
constexpr int kPaneUsb = 1026;
constexpr int kBeginUsb = 1025;
constexpr int kProgressUsb = 1022;

struct ViewIds {
  int pane;
  int begin;
  int progress;
};

ViewIds IdsOf(const char* view) {
  if (view != nullptr && std::strcmp(view, "usb") == 0) return {kPaneUsb, kBeginUsb, kProgressUsb};
  return {kPaneReader, kBeginReader, kProgressReader};
}

std::string WindowText(HWND window) {
  // Cross-process WM_GETTEXT: the system copies the text across. A rich edit counts a line
  // break as one character in its length and gives two in its text: room for both.
  const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
  const std::size_t room = static_cast<std::size_t>(length < 0 ? 0 : length) * 2 + 16;
  std::string text(room, '\0');
  const LRESULT got = SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(room),
                                   reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

// Line breaks (CR LF, or the rich edit's lone CR) as the two characters \n.
std::string OneLine(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += "\\n";
    } else {
      line.push_back(text[i]);
    }
  }
  return line;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

struct FrameSearch {
  HWND found = nullptr;
};

BOOL CALLBACK TakeFrame(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<FrameSearch*>(data);
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  if (WindowText(window).rfind("Flashwright", 0) != 0) return TRUE;
  if (ClassOf(window) == "#32770") return TRUE;  // a box of the program, not its frame
  search->found = window;
  return FALSE;
}

HWND FindFrame() {
  FrameSearch search;
  EnumWindows(TakeFrame, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct ControlSearch {
  int id;
  HWND found = nullptr;
};

BOOL CALLBACK TakeControl(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ControlSearch*>(data);
  if (GetDlgCtrlID(window) != search->id) return TRUE;
  // The shown view's control when both views exist.
  if (search->found == nullptr || IsWindowVisible(window)) search->found = window;
  return !IsWindowVisible(window);
}

HWND FindControl(HWND frame, int id) {
  ControlSearch search{id, nullptr};
  EnumChildWindows(frame, TakeControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct BoxSearch {
  const char* words;
  HWND found = nullptr;
  std::string text;
};

BOOL CALLBACK TakeStatic(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<BoxSearch*>(data);
  const std::string text = WindowText(window);
  if (ClassOf(window) == "Static" && text.find(search->words) != std::string::npos) {
    search->text = text;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK TakeBox(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<BoxSearch*>(data);
  if (!IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
  EnumChildWindows(window, TakeStatic, data);
  if (search->text.empty()) return TRUE;
  search->found = window;
  return FALSE;
}

// A message box whose text holds `words`.
HWND FindBox(const char* words, std::string* text) {
  BoxSearch search{words, nullptr, {}};
  EnumWindows(TakeBox, reinterpret_cast<LPARAM>(&search));
  if (search.found != nullptr && text != nullptr) *text = search.text;
  return search.found;
}

HWND WaitForFrame(DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND frame = FindFrame()) return frame;
    if (GetTickCount() - start > timeout_ms) return nullptr;
    Sleep(50);
  }
}

// The pane's background as drawn on the screen: a pixel near its lower right corner, where no
// text reaches.
// Painting follows a change of the pane when the program's queue is idle: the colour counts once
// it has stayed the same for 300 ms.
COLORREF DrawnColour(HWND pane) {
  RECT area{};
  GetClientRect(pane, &area);
  POINT corner{area.right - 3, area.bottom - 3};
  ClientToScreen(pane, &corner);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, corner.x, corner.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

void PrintPaneColour(HWND pane) {
  COLORREF colour = DrawnColour(pane);
  DWORD since = GetTickCount();
  const DWORD start = since;
  while (GetTickCount() - since < 300 && GetTickCount() - start < 5000) {
    Sleep(50);
    const COLORREF now = DrawnColour(pane);
    if (now != colour) {
      colour = now;
      since = GetTickCount();
    }
  }
  std::printf("colour: %d %d %d\n", GetRValue(colour), GetGValue(colour), GetBValue(colour));
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  std::printf("button face: %d %d %d\n", GetRValue(face), GetGValue(face), GetBValue(face));
}

// The pane once it has stopped changing for a second (the start-up checks run on a worker).
int SettledPane(const ViewIds& ids) {
  HWND frame = WaitForFrame(60000);
  if (frame == nullptr) {
    std::printf("error: no frame\n");
    return 1;
  }
  HWND pane = FindControl(frame, ids.pane);
  if (pane == nullptr) {
    std::printf("error: no pane %d\n", ids.pane);
    return 1;
  }
  std::string text = WindowText(pane);
  DWORD since = GetTickCount();
  const DWORD start = since;
  while (text.empty() || GetTickCount() - since < 1000) {
    if (GetTickCount() - start > 60000) break;
    Sleep(50);
    const std::string now = WindowText(pane);
    if (now != text) {
      text = now;
      since = GetTickCount();
    }
  }
  std::printf("title: %s\n", WindowText(frame).c_str());
  std::printf("pane: %s\n", OneLine(text).c_str());
  PrintPaneColour(pane);
  return text.empty() ? 1 : 0;
}

bool Finished(const std::string& text) {
  return text.find("successfully updated") != std::string::npos ||
         text.find("already updated") != std::string::npos ||
         text.find("failed") != std::string::npos || text.find("error") != std::string::npos;
}

int Update(const ViewIds& ids, const char* answer) {
  HWND frame = WaitForFrame(60000);
  if (frame == nullptr) {
    std::printf("error: no frame\n");
    return 1;
  }
  HWND begin = FindControl(frame, ids.begin);
  HWND bar = FindControl(frame, ids.progress);
  HWND pane = FindControl(frame, ids.pane);
  if (begin == nullptr || bar == nullptr || pane == nullptr) {
    std::printf("error: controls %d, %d or %d missing\n", ids.begin, ids.progress, ids.pane);
    return 1;
  }
  // Begin Update is enabled once the start-up checks have found the reader.
  DWORD start = GetTickCount();
  while (!IsWindowEnabled(begin)) {
    if (GetTickCount() - start > 60000) {
      std::printf("error: Begin Update stays disabled; pane: %s\n", OneLine(WindowText(pane)).c_str());
      return 1;
    }
    Sleep(50);
  }
  const std::string before = WindowText(pane);
  PostMessageA(begin, BM_CLICK, 0, 0);

  std::vector<int> positions;
  int boxes = 0;
  bool left_idle = false;
  start = GetTickCount();
  for (;;) {
    const int position = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
    if (positions.empty() || positions.back() != position) positions.push_back(position);
    std::string box_text;
    if (HWND box = FindBox("Try again?", &box_text)) {
      ++boxes;
      std::printf("box: %s\n", OneLine(box_text).c_str());
      std::printf("box caption: %s\n", WindowText(box).c_str());
      const int button = answer != nullptr && std::strcmp(answer, "yes") == 0 ? IDYES : IDNO;
      HWND press = GetDlgItem(box, button);
      if (press == nullptr) {
        std::printf("error: the box has no button %d\n", button);
        return 1;
      }
      PostMessageA(press, BM_CLICK, 0, 0);
      while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < 120000) Sleep(20);
    }
    if (!IsWindowEnabled(begin)) left_idle = true;
    const std::string text = WindowText(pane);
    if (left_idle && IsWindowEnabled(begin) && text != before && Finished(text) &&
        FindBox("Try again?", nullptr) == nullptr) {
      // The bar's last position as the run left it.
      const int last = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
      if (positions.back() != last) positions.push_back(last);
      std::printf("progress:");
      for (const int p : positions) std::printf(" %d", p);
      std::printf("\nboxes: %d\npane: %s\n", boxes, OneLine(text).c_str());
      PrintPaneColour(pane);
      std::printf("title: %s\n", WindowText(frame).c_str());
      return 0;
    }
    if (GetTickCount() - start > 180000) {
      std::printf("error: the update did not end; pane: %s\n", OneLine(text).c_str());
      return 1;
    }
    Sleep(10);
  }
}

// The items through the wide messages: across processes Wine hands the narrow CB_GETLBTEXT of a
// common controls 6 list back in its wide form.
std::vector<std::string> Items(HWND list) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring wide(static_cast<std::size_t>(length < 0 ? 0 : length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide.data()));
    char text[512] = {};
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof text, nullptr, nullptr);
    items.emplace_back(text);
  }
  return items;
}

int List(int id, const char* wanted) {
  HWND frame = WaitForFrame(60000);
  HWND list = frame != nullptr ? FindControl(frame, id) : nullptr;
  if (list == nullptr) {
    std::printf("error: no control %d\n", id);
    return 1;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    const std::vector<std::string> items = Items(list);
    bool has = wanted == nullptr;
    for (const std::string& item : items) has = has || item.find(wanted) != std::string::npos;
    if (has || GetTickCount() - start > 30000) {
      for (const std::string& item : items) std::printf("item: %s\n", item.c_str());
      return has ? 0 : 1;
    }
    Sleep(100);
  }
}

// The form view shown in the frame: a dialog child of the frame holding the view's pane.
HWND ShownForm(HWND frame, const ViewIds& ids) {
  HWND pane = FindControl(frame, ids.pane);
  if (pane == nullptr || !IsWindowVisible(pane)) return nullptr;
  HWND form = GetParent(pane);
  return form != nullptr && GetParent(form) == frame ? form : nullptr;
}

struct FrameFit {
  RECT outer{};
  RECT client{};
  long left = 0, right = 0, bottom = 0, menu_bar = 0;
  long form_x = 0, form_y = 0, form_width = 0, form_height = 0;
  bool fits = false;
};

// Above the client area are the border, the caption and the menu bar; the menu bar is the
// program's, which another process cannot ask for, so it is what remains.
FrameFit MeasureFit(HWND frame, HWND form) {
  FrameFit fit;
  GetClientRect(frame, &fit.client);
  POINT origin{0, 0};
  ClientToScreen(frame, &origin);
  GetWindowRect(frame, &fit.outer);
  RECT placed{};
  GetWindowRect(form, &placed);
  fit.form_x = placed.left - origin.x;
  fit.form_y = placed.top - origin.y;
  fit.form_width = placed.right - placed.left;
  fit.form_height = placed.bottom - placed.top;
  fit.left = origin.x - fit.outer.left;
  fit.right = fit.outer.right - (origin.x + fit.client.right);
  fit.bottom = fit.outer.bottom - (origin.y + fit.client.bottom);
  fit.menu_bar = (origin.y - fit.outer.top) - fit.bottom - GetSystemMetrics(SM_CYCAPTION);
  fit.fits = fit.client.right == fit.form_width && fit.client.bottom == fit.form_height &&
             fit.form_x == 0 && fit.form_y == 0 && fit.left == fit.right &&
             fit.right == fit.bottom && fit.menu_bar > 0;
  return fit;
}

// The frame fits its form exactly: below the caption and the menu bar (however many lines it
// takes) the client area is the form's window, no more and no less, with the form at its
// origin, and around it the frame has only its fixed border, the same on three sides. A view
// that was just chosen is given a moment to be made and fitted.
int Fit(const ViewIds& ids) {
  HWND frame = WaitForFrame(60000);
  HWND form = nullptr;
  FrameFit fit;
  const DWORD start = GetTickCount();
  while (frame != nullptr && GetTickCount() - start < 10000) {
    form = ShownForm(frame, ids);
    if (form != nullptr && (fit = MeasureFit(frame, form)).fits) break;
    Sleep(50);
  }
  if (form == nullptr) {
    std::printf("error: no form with the pane %d in a frame\n", ids.pane);
    return 1;
  }
  std::printf("frame: %ld x %ld\n", fit.outer.right - fit.outer.left,
              fit.outer.bottom - fit.outer.top);
  std::printf("client: %ld x %ld\n", fit.client.right, fit.client.bottom);
  std::printf("borders: left %ld, right %ld, bottom %ld; menu bar about %ld\n", fit.left,
              fit.right, fit.bottom, fit.menu_bar);
  std::printf("form: %ld x %ld at %ld,%ld\n", fit.form_width, fit.form_height, fit.form_x,
              fit.form_y);
  std::printf("fits: %s\n", fit.fits ? "yes" : "no");
  return fit.fits ? 0 : 1;
}

int Command(int id) {
  HWND frame = WaitForFrame(60000);
  if (frame == nullptr) {
    std::printf("error: no frame\n");
    return 1;
  }
  return PostMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0) ? 0 : 1;
}

int Close() {
  HWND frame = FindFrame();
  if (frame == nullptr) {
    std::printf("error: no frame\n");
    return 1;
  }
  PostMessageA(frame, WM_CLOSE, 0, 0);
  const DWORD start = GetTickCount();
  while (IsWindow(frame)) {
    if (GetTickCount() - start > 30000) {
      std::printf("error: the frame stays\n");
      return 1;
    }
    Sleep(50);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  int status = 2;
  if (command == "pane") status = SettledPane(IdsOf(argc > 2 ? argv[2] : nullptr));
  else if (command == "update") status = Update(IdsOf(argc > 2 ? argv[2] : nullptr), argc > 3 ? argv[3] : nullptr);
  else if (command == "list" && argc > 2) status = List(std::atoi(argv[2]), nullptr);
  else if (command == "wait-item" && argc > 3) status = List(std::atoi(argv[2]), argv[3]);
  else if (command == "fit") status = Fit(IdsOf(argc > 2 ? argv[2] : nullptr));
  else if (command == "command" && argc > 2) status = Command(std::atoi(argv[2]));
  else if (command == "close") status = Close();
  else std::fprintf(stderr, "usage: %s pane|update|list|wait-item|fit|command|close ...\n", argv[0]);
  std::fflush(stdout);
  return status;
}
