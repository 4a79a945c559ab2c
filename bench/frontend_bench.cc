// Lookups and whole requests against the embedded frontend table.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "frontend_assets.h"
#include "scheme_handler.h"

namespace {

// Cycles through every entry so the probes do not replay one cached path.
void BM_LookupHit(benchmark::State& state) {
  std::vector<std::string> keys;
  for (const vorbek::FrontendAsset& asset : vorbek::FRONTEND_ASSETS) keys.emplace_back(asset.path);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vorbek::find_frontend_asset(keys[i]));
    i = i + 1 == keys.size() ? 0 : i + 1;
  }
}
BENCHMARK(BM_LookupHit);

// Each entry's path with a character appended: misses right beside a hit.
void BM_LookupMiss(benchmark::State& state) {
  std::vector<std::string> keys;
  for (const vorbek::FrontendAsset& asset : vorbek::FRONTEND_ASSETS) {
    keys.emplace_back(std::string(asset.path) + "~");
  }
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vorbek::find_frontend_asset(keys[i]));
    i = i + 1 == keys.size() ? 0 : i + 1;
  }
}
BENCHMARK(BM_LookupMiss);

// The entry page as the web view asks for it, query and all, including
// building the request and the responder.
void BM_ServeRequest(benchmark::State& state) {
  const std::string uri =
      "http://devtools.localhost/entrypoints/js_app/js_app.js?ws=127.0.0.1:9229/"
      "0f2c5d1e-7a3b-4c2d-9e8f-1a2b3c4d5e6f";
  for (auto _ : state) {
    vorbek::HttpRequest request;
    request.method = "GET";
    request.uri = uri;
    int status = 0;
    vorbek::serve_frontend_request("webview", std::move(request),
                                   [&status](vorbek::HttpResponse response) { status = response.status; });
    benchmark::DoNotOptimize(status);
  }
}
BENCHMARK(BM_ServeRequest);

}  // namespace
