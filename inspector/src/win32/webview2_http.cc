#include "win32/webview2_http.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "utf8.h"
#include "win32/text.h"
#include "win32/webview2_com.h"

namespace vorbek::webview2 {

std::optional<std::string> utf8(const wchar_t* text) {
  std::string out = win32::narrow(text ? text : L"");
  if (!is_valid_utf8(out)) return std::nullopt;
  return out;
}

namespace {

std::optional<std::vector<std::uint8_t>> read_stream(IStream* stream) {
  std::vector<std::uint8_t> body;
  if (!stream) return body;
  std::uint8_t chunk[16384];
  for (;;) {
    ULONG n = 0;
    const HRESULT result = stream->Read(chunk, sizeof chunk, &n);
    if (FAILED(result)) return std::nullopt;
    body.insert(body.end(), chunk, chunk + n);
    if (result == S_FALSE || n == 0) return body;
  }
}

}  // namespace

std::optional<HttpRequest> read_request(ICoreWebView2WebResourceRequest* request) {
  HttpRequest out;
  com::TaskString uri, method;
  if (FAILED(request->get_Uri(uri.out())) || FAILED(request->get_Method(method.out()))) {
    return std::nullopt;
  }
  auto uri_text = utf8(uri.get());
  auto method_text = utf8(method.get());
  if (!uri_text || !method_text) return std::nullopt;
  out.uri = std::move(*uri_text);
  out.method = method_text->empty() ? "GET" : std::move(*method_text);
  out.version = "HTTP/1.1";  // the engine does not say; its requests are 1.1

  com::ComPtr<ICoreWebView2HttpRequestHeaders> headers;
  com::ComPtr<ICoreWebView2HttpHeadersCollectionIterator> iterator;
  if (FAILED(request->get_Headers(headers.GetAddressOf())) || !headers ||
      FAILED(headers->GetIterator(iterator.GetAddressOf())) || !iterator) {
    return std::nullopt;
  }
  BOOL has_header = FALSE;
  if (FAILED(iterator->get_HasCurrentHeader(&has_header))) return std::nullopt;
  while (has_header) {
    com::TaskString name, value;
    if (FAILED(iterator->GetCurrentHeader(name.out(), value.out()))) return std::nullopt;
    auto name_text = utf8(name.get());
    auto value_text = utf8(value.get());
    if (!name_text || !value_text) return std::nullopt;
    out.headers.emplace_back(std::move(*name_text), std::move(*value_text));
    if (FAILED(iterator->MoveNext(&has_header))) return std::nullopt;
  }

  com::ComPtr<IStream> content;
  if (FAILED(request->get_Content(content.GetAddressOf()))) return std::nullopt;
  auto body = read_stream(content.Get());
  if (!body) return std::nullopt;
  out.body = std::move(*body);
  return out;
}

HRESULT respond(ICoreWebView2Environment* environment,
                ICoreWebView2WebResourceRequestedEventArgs* args, const HttpResponse& response,
                std::shared_ptr<const void> body_owner) {
  std::string headers;
  for (const auto& [name, value] : response.headers) {
    if (!headers.empty()) headers += "\r\n";
    headers += name + ": " + value;
  }
  com::ComPtr<IStream> body;
  if (!response.body.empty()) {
    body = make_static_stream(response.body, std::move(body_owner));
  }
  const std::wstring reason = win32::widen(reason_phrase(response.status));
  const std::wstring header_lines = win32::widen(headers);
  com::ComPtr<ICoreWebView2WebResourceResponse> reply;
  HRESULT result = environment->CreateWebResourceResponse(
      body.Get(), response.status, reason.c_str(), header_lines.c_str(), reply.GetAddressOf());
  if (FAILED(result)) return result;
  return args->put_Response(reply.Get());
}

}  // namespace vorbek::webview2
