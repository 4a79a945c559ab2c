# The WebView2 SDK (its headers and the x64 loader), a pinned NuGet package
# restored into the build tree with the .NET SDK's own client, never
# committed. Gives the target `webview2_sdk` (include directories and the
# loader's import library) and VORBEK_WEBVIEW2_LOADER_DLL, which ships
# beside the .exe.
set(VORBEK_WEBVIEW2_VERSION 1.0.4314.35)
# The .nupkg's SHA-512, so a different package under the same version fails
# the build instead of being compiled in.
set(VORBEK_WEBVIEW2_SHA512
  70e6a256a3f7066407327c46a59cc034cdb6b545e0c9cae2b322478c818dcc868cb26f225e3ecac7e71e620f916d8c09b734f4d3da9f7054e872f54b63e7a433)

set(sdk_root "${CMAKE_BINARY_DIR}/webview2-sdk")
set(sdk_packages "${sdk_root}/packages")
set(sdk_dir "${sdk_packages}/microsoft.web.webview2/${VORBEK_WEBVIEW2_VERSION}")
set(sdk_nupkg "${sdk_dir}/microsoft.web.webview2.${VORBEK_WEBVIEW2_VERSION}.nupkg")

if(NOT EXISTS "${sdk_nupkg}")
  find_program(VORBEK_DOTNET dotnet)
  if(NOT VORBEK_DOTNET)
    message(FATAL_ERROR "the Windows build restores the WebView2 SDK with the .NET SDK's "
      "client, and no `dotnet` is on PATH")
  endif()
  # Restore needs a project: one that references only the SDK package, for
  # the framework of the .NET SDK at hand, whose reference packs it carries.
  execute_process(COMMAND "${VORBEK_DOTNET}" --version
    OUTPUT_VARIABLE dotnet_version OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT dotnet_version MATCHES "^([0-9]+)\\.")
    message(FATAL_ERROR "`dotnet --version` failed (${status}): ${dotnet_version}")
  endif()
  set(framework "net${CMAKE_MATCH_1}.0")
  file(MAKE_DIRECTORY "${sdk_root}")
  file(WRITE "${sdk_root}/webview2_sdk.csproj"
"<Project Sdk=\"Microsoft.NET.Sdk\">
  <PropertyGroup>
    <TargetFramework>${framework}</TargetFramework>
  </PropertyGroup>
  <ItemGroup>
    <PackageReference Include=\"Microsoft.Web.WebView2\" Version=\"[${VORBEK_WEBVIEW2_VERSION}]\" />
  </ItemGroup>
</Project>
")
  message(STATUS "Restoring Microsoft.Web.WebView2 ${VORBEK_WEBVIEW2_VERSION} into ${sdk_packages}")
  # The client's defaults name the registry; its download cache stays in the
  # build tree, and the user's HOME may be a fresh, empty one.
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env
            DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
            "NUGET_HTTP_CACHE_PATH=${sdk_root}/http-cache"
            "${VORBEK_DOTNET}" restore "${sdk_root}/webview2_sdk.csproj"
            --packages "${sdk_packages}" --verbosity quiet
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0 OR NOT EXISTS "${sdk_nupkg}")
    message(FATAL_ERROR "restoring Microsoft.Web.WebView2 ${VORBEK_WEBVIEW2_VERSION} failed "
      "(${status}):\n${output}")
  endif()
endif()

file(SHA512 "${sdk_nupkg}" sdk_sha512)
if(NOT sdk_sha512 STREQUAL VORBEK_WEBVIEW2_SHA512)
  message(FATAL_ERROR "${sdk_nupkg} has SHA-512 ${sdk_sha512}, not the pinned "
    "${VORBEK_WEBVIEW2_SHA512}; remove ${sdk_root} to restore it again")
endif()

set(VORBEK_WEBVIEW2_INCLUDE_DIR "${sdk_dir}/build/native/include" CACHE INTERNAL "")
set(VORBEK_WEBVIEW2_LOADER_DLL "${sdk_dir}/build/native/x64/WebView2Loader.dll" CACHE INTERNAL "")
foreach(file "${VORBEK_WEBVIEW2_INCLUDE_DIR}/WebView2.h" "${VORBEK_WEBVIEW2_LOADER_DLL}"
             "${sdk_dir}/build/native/x64/WebView2Loader.dll.lib")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "the restored WebView2 SDK has no ${file}")
  endif()
endforeach()

# The SDK's header includes "EventToken.h", which mingw-w64 ships in lower
# case; on a case-sensitive file system it needs this alias.
set(sdk_alias_dir "${sdk_root}/mingw-alias")
file(MAKE_DIRECTORY "${sdk_alias_dir}")
file(WRITE "${sdk_alias_dir}/EventToken.h.new" "#include <eventtoken.h>\n")
file(COPY_FILE "${sdk_alias_dir}/EventToken.h.new" "${sdk_alias_dir}/EventToken.h" ONLY_IF_DIFFERENT)

# The runtime version the SDK was made for, stated in its options header,
# which the program cannot include (it needs WRL).
file(STRINGS "${VORBEK_WEBVIEW2_INCLUDE_DIR}/WebView2EnvironmentOptions.h" target_version
  REGEX "^#define CORE_WEBVIEW_TARGET_PRODUCT_VERSION L\"[0-9.]+\"")
if(NOT target_version MATCHES "L\"([0-9.]+)\"")
  message(FATAL_ERROR "the WebView2 SDK's options header states no target runtime version")
endif()
set(target_version "${CMAKE_MATCH_1}")

add_library(webview2_sdk INTERFACE)
target_compile_definitions(webview2_sdk INTERFACE
  "VORBEK_WEBVIEW2_TARGET_VERSION=L\"${target_version}\"")
target_include_directories(webview2_sdk SYSTEM INTERFACE
  "${VORBEK_WEBVIEW2_INCLUDE_DIR}" "${sdk_alias_dir}")
# The loader is not linked: the program opens WebView2Loader.dll when it
# makes the web view, so that it starts, and reports, without it.

# Puts the loader beside `target`'s .exe, where the program looks for it.
function(vorbek_beside_loader target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${VORBEK_WEBVIEW2_LOADER_DLL}"
            "$<TARGET_FILE_DIR:${target}>"
    VERBATIM)
endfunction()
