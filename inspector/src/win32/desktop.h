// The Win32 half of the frontend's host: the web view's container window,
// which also carries work to the main thread, the clipboard and the user's
// browser. WebView2's half is in webview2.cc.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "error.h"

namespace vorbek::win32 {

// A child of `parent` filling its client area, of a class of our own whose
// procedure runs posted tasks.
Result<HWND> make_container(HWND parent);

// From any thread: runs `task` on the main thread, from the message loop, as
// a message to `container`. False when it could not be queued.
bool post_task(HWND container, std::function<void()> task);

// Tasks still queued for `container`, dropped unrun: what they were for is
// going.
void drop_tasks(HWND container);

// `text` on the clipboard, as Unicode text; nothing where the clipboard is
// not to be had.
void copy_to_clipboard(HWND owner, const std::string& text);

// The user's browser, as the shell opens a web address: synchronously, so a
// failure is ours to report, and without the shell's own error box.
Status open_with_shell(const std::string& uri);

}  // namespace vorbek::win32
