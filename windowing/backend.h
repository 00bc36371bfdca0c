// What every windowing backend provides (windowing/qt/, windowing/win32/; CMake builds one of
// them). Views, dialogs and the frame do not call these directly; FormView, Dialog and the
// application shell do.
#pragma once

#include <memory>

#include "windowing/folder_browser.h"
#include "windowing/form.h"
#include "windowing/frame_window.h"
#include "windowing/message_box.h"
#include "windowing/resource_templates.h"
#include "windowing/window_ref.h"

namespace flashwright::ui {

// A form view's window: a child of `parent` without caption or border, at the top left of it,
// shown.
std::unique_ptr<Form> CreateChildForm(const DialogTemplate& dialog, WindowRef parent,
                                      FormEvents& events);

// A dialog window owned by `owner` (centred on it, or on the desktop without one), with the
// template's caption and style, shown but not modal. Enter presses control 1 and Escape or the
// close box control 2, as notifications to `events`.
std::unique_ptr<Form> CreateDialogForm(const DialogTemplate& dialog, WindowRef owner,
                                       FormEvents& events);
// Runs a modal loop for `dialog` (its owner disabled meanwhile) until EndModalLoop; returns
// the result given there.
int RunModalLoop(Form& dialog);
void EndModalLoop(Form& dialog, int result);

std::unique_ptr<FrameWindow> CreateFrameWindow(FrameEvents& events);

// Shows the box modally and returns the button pressed. MessageBox (message_box.h) calls it
// once its test handler and the check for a box already open have had their say.
int ShowMessageBox(const MessageBoxRequest& request);

// The system's folder browser (file-system folders only), for BrowseForFolder
// (folder_browser.h) once its test handler has had its say. `*path` is empty on entry.
FolderChoice ShowFolderBrowser(const FolderBrowseRequest& request, std::string* path);

// Whether the window system says the Ctrl key is down now, for IsControlKeyDown
// (key_state.h) when no test source answers.
bool SystemControlKeyDown();

}  // namespace flashwright::ui
