#include "win32/webview2_com.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vorbek::webview2 {
namespace {

// Edge's own pop-up UI, PDF pop-ups and SmartScreen have no place in a
// debugger window; media may start without a user gesture.
constexpr wchar_t BROWSER_ARGUMENTS[] =
    L"--disable-features=msWebOOUI,msPdfOOUI,msSmartScreenProtection "
    L"--autoplay-policy=no-user-gesture-required";

// The runtime version the SDK was made for (its WebView2EnvironmentOptions.h,
// which needs WRL, states it; the build reads it from there).
constexpr wchar_t TARGET_BROWSER_VERSION[] = VORBEK_WEBVIEW2_TARGET_VERSION;

// The options the loader reads when it makes the environment. The SDK's own
// class needs WRL's implements.h, which mingw-w64 lacks.
class EnvironmentOptions final
    : public com::Object<com::Implements<ICoreWebView2EnvironmentOptions>,
                         ICoreWebView2EnvironmentOptions> {
 public:
  explicit EnvironmentOptions(std::wstring language) : language_(std::move(language)) {}

  HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override {
    return com::task_copy(arguments_.c_str(), value);
  }
  HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) override {
    arguments_ = value ? value : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) override {
    return com::task_copy(language_.c_str(), value);
  }
  HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) override {
    language_ = value ? value : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) override {
    return com::task_copy(target_version_.c_str(), value);
  }
  HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) override {
    target_version_ = value ? value : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* value) override {
    if (!value) return E_POINTER;
    *value = single_sign_on_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL value) override {
    single_sign_on_ = value;
    return S_OK;
  }

 private:
  std::wstring arguments_ = BROWSER_ARGUMENTS;
  std::wstring language_;
  std::wstring target_version_ = TARGET_BROWSER_VERSION;
  BOOL single_sign_on_ = FALSE;
};

// A read-only stream over bytes that outlive it: the response body is read
// straight from the embedded table, never copied; a page of the host's own
// is kept alive by `owner`. Agile, with the free-threaded marshaler, because
// the engine reads it on a thread of its own; each stream has its own
// position.
class StaticBytesStream final
    : public com::Object<com::Implements<IStream, ISequentialStream, IAgileObject>, IStream,
                         IAgileObject> {
 public:
  explicit StaticBytesStream(std::span<const std::uint8_t> bytes,
                             std::shared_ptr<const void> owner = {})
      : bytes_(bytes), owner_(std::move(owner)) {
    CoCreateFreeThreadedMarshaler(static_cast<IStream*>(this), marshaler_.GetAddressOf());
  }

  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG size, ULONG* read) override {
    if (!out) return STG_E_INVALIDPOINTER;
    const std::uint64_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const ULONG n = static_cast<ULONG>(std::min<std::uint64_t>(size, left));
    if (n > 0) memcpy(out, bytes_.data() + position_, n);
    position_ += n;
    if (read) *read = n;
    return n == size ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* new_position) override {
    std::int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<std::int64_t>(position_); break;
      case STREAM_SEEK_END: base = static_cast<std::int64_t>(bytes_.size()); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const std::int64_t target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::uint64_t>(target);
    if (new_position) new_position->QuadPart = position_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) override {
    if (!target) return STG_E_INVALIDPOINTER;
    const std::uint64_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    std::uint64_t n = std::min<std::uint64_t>(size.QuadPart, left);
    std::uint64_t done = 0;
    while (done < n) {
      const ULONG chunk = static_cast<ULONG>(std::min<std::uint64_t>(n - done, 1u << 30));
      ULONG wrote = 0;
      const HRESULT result = target->Write(bytes_.data() + position_ + done, chunk, &wrote);
      done += wrote;
      if (FAILED(result) || wrote < chunk) break;
    }
    position_ += done;
    if (read) read->QuadPart = done;
    if (written) written->QuadPart = done;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    stat->grfMode = STGM_READ;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
    if (!out) return STG_E_INVALIDPOINTER;
    auto copy = com::make<StaticBytesStream>(bytes_, owner_);
    copy->position_ = position_;
    *out = copy.Detach();
    return S_OK;
  }

 private:
  HRESULT query_more(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IMarshal) && marshaler_) return marshaler_->QueryInterface(iid, out);
    return E_NOINTERFACE;
  }

  std::span<const std::uint8_t> bytes_;
  std::shared_ptr<const void> owner_;
  std::uint64_t position_ = 0;
  // Aggregated: its IUnknown is the inner one, owned here.
  com::ComPtr<IUnknown> marshaler_;
};

}  // namespace

com::ComPtr<ICoreWebView2EnvironmentOptions> make_environment_options(std::wstring language) {
  return com::make<EnvironmentOptions>(std::move(language));
}

std::wstring user_interface_language() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  const LCID lcid = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
  if (LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0) == 0) return {};
  return name;
}

com::ComPtr<IStream> make_static_stream(std::span<const std::uint8_t> bytes,
                                        std::shared_ptr<const void> owner) {
  return com::make<StaticBytesStream>(bytes, std::move(owner));
}

}  // namespace vorbek::webview2
