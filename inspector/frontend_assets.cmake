# The embedded frontend: makes sure the pinned frontend package is installed,
# then runs asset_table_gen over it whenever its files change.

set(VORBEK_FRONTEND_DIR "" CACHE PATH
  "Frontend directory to embed; empty means the chii package pinned in frontend/")

if(VORBEK_FRONTEND_DIR)
  cmake_path(ABSOLUTE_PATH VORBEK_FRONTEND_DIR BASE_DIRECTORY "${CMAKE_BINARY_DIR}"
    OUTPUT_VARIABLE vorbek_frontend_dir)
else()
  set(npm_root "${PROJECT_SOURCE_DIR}/frontend")
  set(vorbek_frontend_dir "${npm_root}/node_modules/chii/public/front_end")
  # npm writes node_modules/.package-lock.json on every install, so an install
  # older than the lockfile is stale.
  set(npm_lock "${npm_root}/package-lock.json")
  set(npm_installed "${npm_root}/node_modules/.package-lock.json")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${npm_lock}")
  if(NOT IS_DIRECTORY "${vorbek_frontend_dir}" OR "${npm_lock}" IS_NEWER_THAN "${npm_installed}")
    find_program(NPM_EXECUTABLE npm)
    if(NOT NPM_EXECUTABLE)
      message(FATAL_ERROR
        "npm not found. It installs the debugger frontend (package chii, pinned in "
        "${npm_lock}) that is built into the program. Install Node.js with npm, or set "
        "VORBEK_FRONTEND_DIR to a frontend directory.")
    endif()
    message(STATUS "Installing the frontend: npm ci in ${npm_root}")
    execute_process(
      COMMAND "${NPM_EXECUTABLE}" ci --ignore-scripts --no-audit --no-fund
      WORKING_DIRECTORY "${npm_root}"
      RESULT_VARIABLE npm_result)
    if(NOT npm_result EQUAL 0)
      message(FATAL_ERROR "npm ci in ${npm_root} failed (${npm_result}); the frontend is not installed")
    endif()
    if(NOT IS_DIRECTORY "${vorbek_frontend_dir}")
      message(FATAL_ERROR "npm ci in ${npm_root} did not install ${vorbek_frontend_dir}")
    endif()
  endif()
endif()
if(NOT IS_DIRECTORY "${vorbek_frontend_dir}")
  message(FATAL_ERROR "frontend directory ${vorbek_frontend_dir} does not exist")
endif()

# Re-globbed on every build, so added and removed files rerun the generator too.
file(GLOB_RECURSE vorbek_frontend_files CONFIGURE_DEPENDS LIST_DIRECTORIES false
  "${vorbek_frontend_dir}/*")

set(gen_dir "${CMAKE_CURRENT_BINARY_DIR}/frontend_assets")
set(gen_table "${gen_dir}/frontend_assets_table.cc")
set(gen_asm "${gen_dir}/frontend_assets_blob.S")
set(gen_blob "${gen_dir}/frontend_assets.bin")
add_custom_command(
  OUTPUT "${gen_table}" "${gen_asm}" "${gen_blob}"
  COMMAND asset_table_gen "${vorbek_frontend_dir}" "${gen_dir}"
  DEPENDS asset_table_gen ${vorbek_frontend_files}
  COMMENT "Generating the frontend asset table from ${vorbek_frontend_dir}"
  VERBATIM)

add_library(vorbek_frontend_assets STATIC "${gen_table}" "${gen_asm}")
# The .S only names the blob, so a changed blob must still reassemble it.
set_source_files_properties("${gen_asm}" PROPERTIES OBJECT_DEPENDS "${gen_blob}")
target_include_directories(vorbek_frontend_assets PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
