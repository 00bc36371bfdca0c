#include "windowing/win32/dialog_template_win32.h"

#include "windowing/win32/native_window_win32.h"
#include <commctrl.h>
#include <richedit.h>

#include <string>

namespace flashwright::ui {

namespace {

class TemplateWriter {
 public:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
  }
  // Texts of a template are UTF-16 even for the narrow calls; ours are in the ANSI code page.
  void Text(const char* text) {
    const std::string narrow = text ? text : "";
    if (!narrow.empty()) {
      const int count = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(),
                                            static_cast<int>(narrow.size()), nullptr, 0);
      std::wstring wide(static_cast<std::size_t>(count), L'\0');
      MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), static_cast<int>(narrow.size()),
                          wide.data(), count);
      for (wchar_t c : wide) Word(static_cast<WORD>(c));
    }
    Word(0);
  }
  void AlignDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  std::vector<WORD> Take() { return std::move(words_); }

 private:
  std::vector<WORD> words_;
};

}  // namespace

ControlClass ControlClassOf(const ControlTemplate& control) {
  DWORD style = WS_CHILD;
  DWORD ex_style = 0;
  if ((control.style & kStyleHidden) == 0) style |= WS_VISIBLE;
  if (control.style & kStyleDisabled) style |= WS_DISABLED;
  if (control.style & kStyleBorder) style |= WS_BORDER;
  switch (control.kind) {
    case ControlKind::kLabel:
      if (control.style & kStyleSelectable) {
        // A read-only edit without a frame: looks like static text, but its text can be
        // selected and copied.
        style |= ES_READONLY | ES_AUTOHSCROLL;
        if (control.style & kStyleAlignTop) style |= ES_MULTILINE;
        return {"EDIT", style, ex_style};
      }
      return {"STATIC", style | SS_LEFT | SS_NOPREFIX, ex_style};
    case ControlKind::kGroupBox:
      return {"BUTTON", style | BS_GROUPBOX, ex_style};
    case ControlKind::kPushButton:
      return {"BUTTON", style | BS_PUSHBUTTON | WS_TABSTOP, ex_style};
    case ControlKind::kDefaultButton:
      return {"BUTTON", style | BS_DEFPUSHBUTTON | WS_TABSTOP, ex_style};
    case ControlKind::kCheckBox:
      return {"BUTTON", style | BS_AUTOCHECKBOX | WS_TABSTOP, ex_style};
    case ControlKind::kDropDownList:
      return {"COMBOBOX", style | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, ex_style};
    case ControlKind::kListBox:
      style |= LBS_NOTIFY | WS_TABSTOP | WS_BORDER | LBS_NOINTEGRALHEIGHT;
      if (control.style & kStyleNoSelection) style |= LBS_NOSEL;
      if (control.style & kStyleVScroll) style |= WS_VSCROLL | LBS_DISABLENOSCROLL;
      return {"LISTBOX", style, ex_style};
    case ControlKind::kEdit:
      style |= ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER;
      if (control.style & kStyleReadOnly) style |= ES_READONLY;
      return {"EDIT", style, ex_style};
    case ControlKind::kProgressBar:
      return {PROGRESS_CLASSA, style, ex_style};
    case ControlKind::kRichEdit:
      return {"RichEdit20A",
              style | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, ex_style};
    case ControlKind::kIcon:
      return {"STATIC", style | SS_ICON, ex_style};
  }
  return {"STATIC", style, ex_style};
}

std::vector<WORD> BuildDialogTemplate(const DialogTemplate& dialog, DialogRole role) {
  TemplateWriter out;
  DWORD style = DS_SETFONT;
  DWORD ex_style = 0;
  if (role == DialogRole::kChildForm) {
    style |= WS_CHILD | DS_CONTROL | WS_VISIBLE;
    ex_style |= WS_EX_CONTROLPARENT;
  } else {
    // Shown by the backend once it is centred on its owner.
    style |= WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_3DLOOK;
    if (dialog.style & kDialogSystemMenu) style |= WS_SYSMENU;
  }
  out.Word(1);       // dlgVer
  out.Word(0xFFFF);  // signature: the extended template
  out.Dword(0);      // helpID
  out.Dword(ex_style);
  out.Dword(style);
  out.Word(static_cast<WORD>(dialog.controls.size()));
  out.Word(0);
  out.Word(0);
  out.Word(static_cast<WORD>(dialog.width));
  out.Word(static_cast<WORD>(dialog.height));
  out.Word(0);  // no menu
  out.Word(0);  // the dialog manager's own class
  out.Text(role == DialogRole::kChildForm ? "" : dialog.caption);
  out.Word(static_cast<WORD>(dialog.point_size));
  out.Word(FW_NORMAL);
  out.Word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, charset
  out.Text(dialog.font);

  for (const ControlTemplate& control : dialog.controls) {
    const ControlClass kind = ControlClassOf(control);
    int height = control.height;
    if (control.kind == ControlKind::kDropDownList) height += kDropDownListExtent;
    out.AlignDword();
    out.Dword(0);  // helpID
    out.Dword(kind.ex_style);
    out.Dword(kind.style);
    out.Word(static_cast<WORD>(control.x));
    out.Word(static_cast<WORD>(control.y));
    out.Word(static_cast<WORD>(control.width));
    out.Word(static_cast<WORD>(height));
    // Unaddressed controls share the static id, as resource scripts give them.
    out.Dword(control.id == 0 ? static_cast<DWORD>(-1) : static_cast<DWORD>(control.id));
    out.Text(kind.window_class);
    out.Text(control.kind == ControlKind::kIcon ? "" : control.text);
    out.Word(0);  // no creation data
  }
  return out.Take();
}

}  // namespace flashwright::ui
