# The licence texts of what the program carries, for the .deb and the
# Windows package alike: packaging/copyright.in configured with the installed
# frontend's licence and the JSON library's notice. The embedded frontend's
# npm package licence is taken from the installed dependency; its files'
# headers point at a Chromium LICENSE file that the package does not ship,
# so that text is kept here.
#
# vorbek_configure_copyright(OUT SUFFIX PLATFORM_FILES) writes the copyright
# file, naming the licence files beside it with SUFFIX (".txt" on Windows)
# and adding PLATFORM_FILES, DEP-5 paragraphs each with a blank line before
# it. VORBEK_CHII_LICENSE is the frontend's licence file, empty when the
# frontend is not installed (then nothing is written).
set(vorbek_chii_dir "${PROJECT_SOURCE_DIR}/frontend/node_modules/chii")
set(VORBEK_CHROMIUM_LICENSE "${CMAKE_CURRENT_LIST_DIR}/chromium-LICENSE")
if(VORBEK_FRONTEND_DIR)
  message(WARNING "VORBEK_FRONTEND_DIR is set: the installed licence files describe "
    "the pinned chii frontend, not ${VORBEK_FRONTEND_DIR}")
endif()

# DEP-5 wants licence texts indented by one space, empty lines as " .".
function(vorbek_dep5_text out text)
  string(STRIP "${text}" text)
  string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" text "${text}")
  string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" text "${text}")
  string(REPLACE "\n" "\n " text " ${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(EXISTS "${vorbek_chii_dir}/LICENSE")
  set(VORBEK_CHII_LICENSE "${vorbek_chii_dir}/LICENSE")
else()
  set(VORBEK_CHII_LICENSE "")
  message(WARNING "${vorbek_chii_dir}/LICENSE not found: the install carries no "
    "licence for the embedded frontend")
endif()

function(vorbek_configure_copyright out NOTICE_SUFFIX PLATFORM_FILES)
  file(READ "${VORBEK_CHII_LICENSE}" chii_license)
  file(READ "${vorbek_chii_dir}/package.json" chii_package)
  string(JSON CHII_VERSION GET "${chii_package}" version)
  if(NOT chii_license MATCHES "Copyright \\(c\\) ([^\n]+)\n(.*)$")
    message(FATAL_ERROR "no copyright line in ${VORBEK_CHII_LICENSE}")
  endif()
  set(CHII_COPYRIGHT "${CMAKE_MATCH_1}")
  vorbek_dep5_text(EXPAT_TEXT "${CMAKE_MATCH_2}")
  file(READ "${VORBEK_CHROMIUM_LICENSE}" chromium_license)
  vorbek_dep5_text(CHROMIUM_TEXT "${chromium_license}")

  # nlohmann/json.hpp is compiled in; its header states version and holder.
  set(json_header /usr/include/nlohmann/json.hpp)
  file(STRINGS "${json_header}" json_lines LIMIT_COUNT 20
    REGEX "version [0-9.]+|SPDX-FileCopyrightText|SPDX-License-Identifier")
  string(JOIN "\n" json_lines ${json_lines})
  if(NOT json_lines MATCHES "version ([0-9.]+).*SPDX-FileCopyrightText: ([^<\n]+[^ <\n]).*SPDX-License-Identifier: MIT")
    message(FATAL_ERROR "${json_header} states no version, holder and MIT licence")
  endif()
  set(JSON_VERSION "${CMAKE_MATCH_1}")
  set(JSON_COPYRIGHT "${CMAKE_MATCH_2}")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/copyright.in" "${out}" @ONLY)
endfunction()
