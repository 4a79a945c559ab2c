// The WebView2 SDK's header as mingw-w64 can use it, and the pieces of COM
// that MSVC's WRL would give and mingw-w64 lacks (its wrl/ has ComPtr, but
// neither implements.h nor __uuidof for these interfaces). For the WebView2
// files and their tests only.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include <WebView2.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <functional>
#include <utility>

namespace vorbek::com {

using Microsoft::WRL::ComPtr;

// The IID of an interface. The SDK defines IID_<name> for each; MSVC would
// read __uuidof, which GCC cannot for these.
template <typename Interface>
const IID& iid_of();

#define VORBEK_COM_IID(Interface) \
  template <>                     \
  inline const IID& iid_of<Interface>() { return IID_##Interface; }

VORBEK_COM_IID(IUnknown)
VORBEK_COM_IID(ISequentialStream)
VORBEK_COM_IID(IStream)
VORBEK_COM_IID(IAgileObject)
VORBEK_COM_IID(ICoreWebView2)
VORBEK_COM_IID(ICoreWebView2_4)
VORBEK_COM_IID(ICoreWebView2_22)
VORBEK_COM_IID(ICoreWebView2Controller)
VORBEK_COM_IID(ICoreWebView2Environment)
VORBEK_COM_IID(ICoreWebView2Environment5)
VORBEK_COM_IID(ICoreWebView2EnvironmentOptions)
VORBEK_COM_IID(ICoreWebView2Controller3)
VORBEK_COM_IID(ICoreWebView2Settings)
VORBEK_COM_IID(ICoreWebView2Settings3)
VORBEK_COM_IID(ICoreWebView2Settings4)
VORBEK_COM_IID(ICoreWebView2Settings5)
VORBEK_COM_IID(ICoreWebView2Settings6)
VORBEK_COM_IID(ICoreWebView2WebResourceRequest)
VORBEK_COM_IID(ICoreWebView2WebResourceRequestedEventArgs)
VORBEK_COM_IID(ICoreWebView2WebResourceResponse)
VORBEK_COM_IID(ICoreWebView2HttpRequestHeaders)
VORBEK_COM_IID(ICoreWebView2HttpResponseHeaders)
VORBEK_COM_IID(ICoreWebView2HttpHeadersCollectionIterator)
VORBEK_COM_IID(ICoreWebView2DownloadStartingEventArgs)
VORBEK_COM_IID(ICoreWebView2StateChangedEventHandler)
VORBEK_COM_IID(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler)
VORBEK_COM_IID(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler)
VORBEK_COM_IID(ICoreWebView2WebResourceRequestedEventHandler)
VORBEK_COM_IID(ICoreWebView2DownloadStartingEventHandler)
VORBEK_COM_IID(ICoreWebView2WebMessageReceivedEventHandler)
VORBEK_COM_IID(ICoreWebView2NavigationStartingEventHandler)
VORBEK_COM_IID(ICoreWebView2NavigationStartingEventArgs3)
VORBEK_COM_IID(ICoreWebView2NavigationCompletedEventHandler)
VORBEK_COM_IID(ICoreWebView2NavigationCompletedEventArgs2)
VORBEK_COM_IID(ICoreWebView2NewWindowRequestedEventHandler)
VORBEK_COM_IID(ICoreWebView2ProcessFailedEventHandler)
VORBEK_COM_IID(ICoreWebView2ProcessFailedEventArgs2)
VORBEK_COM_IID(ICoreWebView2BrowserProcessExitedEventHandler)
VORBEK_COM_IID(ICoreWebView2BrowserProcessExitedEventArgs)
VORBEK_COM_IID(ICoreWebView2PermissionRequestedEventHandler)
VORBEK_COM_IID(ICoreWebView2PermissionRequestedEventArgs)
VORBEK_COM_IID(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler)

// `object`'s `Interface`, or null where it has none.
template <typename Interface>
ComPtr<Interface> query(IUnknown* object) {
  ComPtr<Interface> out;
  if (object) object->QueryInterface(iid_of<Interface>(), reinterpret_cast<void**>(out.GetAddressOf()));
  return out;
}

template <typename... Interfaces>
struct Implements {};

// Reference counting and QueryInterface for a class of ours that derives
// from `Bases`. QueryInterface finds IUnknown and each of `Interfaces`, which
// name the bases and any older versions that a versioned interface derives
// from. The count is atomic: the engine may release an object on a thread
// of its own.
template <typename Interfaces, typename... Bases>
class Object;

template <typename... Interfaces, typename First, typename... Rest>
class Object<Implements<Interfaces...>, First, Rest...> : public First, public Rest... {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = static_cast<IUnknown*>(static_cast<First*>(this));
    } else {
      (void)(cast_to<Interfaces>(iid, out) || ...);
    }
    if (!*out) return query_more(iid, out);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Object() = default;
  // For an interface that `Interfaces` does not name; takes its own reference.
  virtual HRESULT query_more(REFIID, void**) { return E_NOINTERFACE; }

 private:
  template <typename Interface>
  bool cast_to(REFIID iid, void** out) {
    if (!IsEqualIID(iid, iid_of<Interface>())) return false;
    *out = static_cast<Interface*>(this);
    return true;
  }

  std::atomic<ULONG> references_{1};
};

// A new object of ours, owned by the returned pointer.
template <typename T, typename... Args>
ComPtr<T> make(Args&&... args) {
  ComPtr<T> object;
  object.Attach(new T(std::forward<Args>(args)...));
  return object;
}

// An event or completion handler whose Invoke calls `function`, as WRL's
// Callback would make it.
template <typename Handler, typename Method = decltype(&Handler::Invoke)>
class FunctionHandler;

template <typename Handler, typename... Args>
class FunctionHandler<Handler, HRESULT (STDMETHODCALLTYPE Handler::*)(Args...)>
    : public Object<Implements<Handler>, Handler> {
 public:
  explicit FunctionHandler(std::function<HRESULT(Args...)> function)
      : function_(std::move(function)) {}
  HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return function_(args...); }

 private:
  std::function<HRESULT(Args...)> function_;
};

template <typename Handler, typename Function>
ComPtr<Handler> handler(Function function) {
  ComPtr<Handler> out;
  out.Attach(new FunctionHandler<Handler>(std::move(function)));
  return out;
}

// CoTaskMem text that the engine hands out, freed when it goes.
class TaskString {
 public:
  TaskString() = default;
  TaskString(const TaskString&) = delete;
  TaskString& operator=(const TaskString&) = delete;
  ~TaskString() { CoTaskMemFree(text_); }
  LPWSTR* out() {
    CoTaskMemFree(text_);
    text_ = nullptr;
    return &text_;
  }
  const wchar_t* get() const { return text_; }

 private:
  LPWSTR text_ = nullptr;
};

// A copy of `text` in CoTaskMem, as the engine's getters must return it.
inline HRESULT task_copy(const wchar_t* text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!text) return S_OK;
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*out) return E_OUTOFMEMORY;
  memcpy(*out, text, bytes);
  return S_OK;
}

}  // namespace vorbek::com
