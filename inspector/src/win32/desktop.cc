#include "win32/desktop.h"

#include <shellapi.h>

#include <cstring>
#include <memory>
#include <utility>

#include "win32/text.h"

namespace vorbek::win32 {
namespace {

constexpr wchar_t CONTAINER_CLASS[] = L"vorbek_webview_container";

// Tasks from other threads reach the main thread as this message to the
// container.
constexpr UINT TASK_MESSAGE = WM_APP + 1;
using Task = std::function<void()>;

LRESULT CALLBACK container_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == TASK_MESSAGE) {
    std::unique_ptr<Task> task(reinterpret_cast<Task*>(lparam));
    if (task && *task) (*task)();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

struct GlobalFreeDelete {
  void operator()(void* memory) const { GlobalFree(memory); }
};

}  // namespace

Result<HWND> make_container(HWND parent) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW klass{};
  klass.cbSize = sizeof klass;
  klass.lpfnWndProc = container_procedure;
  klass.hInstance = instance;
  klass.lpszClassName = CONTAINER_CLASS;
  if (!RegisterClassExW(&klass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return os_error(GetLastError());
  }
  RECT client{};
  GetClientRect(parent, &client);
  HWND container = CreateWindowExW(0, CONTAINER_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                   0, 0, client.right - client.left, client.bottom - client.top,
                                   parent, nullptr, instance, nullptr);
  if (!container) return os_error(GetLastError());
  return container;
}

// PostMessage is safe from any thread and wakes the message loop.
bool post_task(HWND container, std::function<void()> task) {
  auto owned = std::make_unique<Task>(std::move(task));
  if (!PostMessageW(container, TASK_MESSAGE, 0, reinterpret_cast<LPARAM>(owned.get()))) {
    return false;
  }
  owned.release();  // the container's procedure owns it now
  return true;
}

void drop_tasks(HWND container) {
  MSG message;
  while (PeekMessageW(&message, container, TASK_MESSAGE, TASK_MESSAGE, PM_REMOVE)) {
    std::unique_ptr<Task>(reinterpret_cast<Task*>(message.lParam));
  }
}

void copy_to_clipboard(HWND owner, const std::string& text) {
  const std::wstring wide = widen(text);
  const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  std::unique_ptr<void, GlobalFreeDelete> memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!memory) return;
  void* at = GlobalLock(memory.get());
  if (!at) return;
  std::memcpy(at, wide.c_str(), bytes);
  GlobalUnlock(memory.get());
  if (!OpenClipboard(owner)) return;
  // The clipboard owns the memory once it has taken it.
  if (EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory.get())) memory.release();
  CloseClipboard();
}

Status open_with_shell(const std::string& uri) {
  const std::wstring target = widen(uri);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = target.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return os_error(GetLastError());
  return {};
}

}  // namespace vorbek::win32
