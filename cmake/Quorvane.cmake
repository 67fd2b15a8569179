# Shared build settings: warnings, ccache, precompiled Qt headers, sanitizers, and the libraries'
# include views.

find_program(QUORVANE_CCACHE ccache)
if(QUORVANE_CCACHE)
  # Precompiled headers need these sloppiness settings to be cached at all. Paths are hashed
  # relative to the source tree, so that the build folders of one checkout (the French and the
  # Russian program) share what they compile alike.
  set(_launcher ${CMAKE_COMMAND} -E env
      "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
      "CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}" CCACHE_NOHASHDIR=true
      ${QUORVANE_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${_launcher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${_launcher})
endif()

# Libraries without Qt Widgets precompile only what they may use.
set(QUORVANE_PCH_CORE
    <QtCore/QString> <QtCore/QByteArray> <QtCore/QStringList> <QtCore/QList> <QtCore/QHash>
    <QtCore/QMap> <QtCore/QObject> <QtCore/QDateTime> <QtCore/QVariant>
    <functional> <memory> <optional> <string> <vector>)
set(QUORVANE_PCH_UI ${QUORVANE_PCH_CORE} <QtWidgets/QWidget>)
set(QUORVANE_PCH_TEST ${QUORVANE_PCH_UI} <gtest/gtest.h>)

# ---- Sanitizers
#
# QUORVANE_SANITIZE=address builds every target of this project with the address and
# undefined-behaviour sanitizers, QUORVANE_SANITIZE=thread with the thread sanitizer. A finding
# ends the program, so a test that meets one fails. Use a build folder of its own for each.
set(QUORVANE_SANITIZE "" CACHE STRING "Sanitizers for every target: empty, address or thread")
set_property(CACHE QUORVANE_SANITIZE PROPERTY STRINGS "" address thread)

# The compile and link flags of a sanitizer mode ("address" or "thread") in <out>.
function(quorvane_sanitizer_flags out mode)
  if(mode STREQUAL "address")
    set(_flags -fsanitize=address,undefined -fno-sanitize-recover=all)
  elseif(mode STREQUAL "thread")
    set(_flags -fsanitize=thread)
  else()
    message(FATAL_ERROR "Unknown sanitizer mode '${mode}' (address or thread)")
  endif()
  list(APPEND _flags -fno-omit-frame-pointer)
  set(${out} ${_flags} PARENT_SCOPE)
endfunction()

if(QUORVANE_SANITIZE)
  quorvane_sanitizer_flags(QUORVANE_SANITIZER_FLAGS ${QUORVANE_SANITIZE})
  # Sanitized builds exist to run the tests: light optimisation and line tables only keep the
  # build short while reports still name the lines.
  list(APPEND QUORVANE_SANITIZER_FLAGS -O1)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    list(APPEND QUORVANE_SANITIZER_FLAGS -gline-tables-only)
  else()
    list(APPEND QUORVANE_SANITIZER_FLAGS -g1)
  endif()
else()
  set(QUORVANE_SANITIZER_FLAGS "")
endif()

# Builds <target> with the sanitizers of <mode> (default: QUORVANE_SANITIZE; nothing when empty).
function(quorvane_sanitize target)
  if(ARGC GREATER 1)
    quorvane_sanitizer_flags(_flags ${ARGV1})
  else()
    set(_flags ${QUORVANE_SANITIZER_FLAGS})
  endif()
  if(_flags)
    target_compile_options(${target} PRIVATE ${_flags})
    target_link_options(${target} PRIVATE ${_flags})
  endif()
endfunction()

function(quorvane_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(QUORVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # Assertions stay on in every build type: the data these checks protect is the users'.
  target_compile_definitions(${target} PRIVATE QT_FORCE_ASSERTS)
  quorvane_sanitize(${target})
endfunction()

# ---- Precompiled headers
#
#   quorvane_precompile(<target> CORE|UI|TEST)
#
# Every target of a kind uses one precompiled header, built once by a target of its own that
# compiles nothing else: quorvane_pch_core (Qt Core), quorvane_pch_ui (Qt Widgets) and
# quorvane_pch_test (Qt Widgets and GoogleTest). A compiler takes a precompiled header only where
# every macro defined when it was made is defined alike, so the makers have the least of the
# definitions of their kind (more on a user's command line do no harm).
function(quorvane_precompile target kind)
  set(_owner quorvane_pch_${kind})
  string(TOLOWER ${_owner} _owner)
  if(NOT TARGET ${_owner})
    set(_source ${CMAKE_BINARY_DIR}/pch/${_owner}.cpp)
    file(CONFIGURE OUTPUT ${_source}
         CONTENT "// Builds the precompiled header that the ${kind} targets share.\n")
    add_library(${_owner} OBJECT ${_source})
    if(kind STREQUAL "CORE")
      target_link_libraries(${_owner} PRIVATE Qt6::Core)
    elseif(kind STREQUAL "UI")
      target_link_libraries(${_owner} PRIVATE Qt6::Widgets)
    else()
      target_link_libraries(${_owner} PRIVATE Qt6::Widgets GTest::gtest)
    endif()
    target_precompile_headers(${_owner} PRIVATE ${QUORVANE_PCH_${kind}})
    quorvane_target_options(${_owner})
    if(QUORVANE_SANITIZE)
      set_target_properties(${_owner} PROPERTIES EXCLUDE_FROM_ALL ON)
    endif()
  endif()
  target_precompile_headers(${target} REUSE_FROM ${_owner})
endfunction()

# ---- Include views
#
# A library's headers are included by the library's folder (<kernel/dbaccess.h>). Each library
# gets a folder of its own in the build tree that shows only its own tree under that name, and
# that folder is a PUBLIC include directory: a file sees the headers of the libraries its target
# links to, and an include of any other library fails to build.
#
#   quorvane_include_view(<target> <name> [FROM <folder>] [HIDE <sub-folder>...])
#
# shows the folder (default: the current source folder) as <name>, which may have several levels
# (platform/ui). Sub-folders named in HIDE, which belong to other libraries, are left out.
function(quorvane_include_view target name)
  cmake_parse_arguments(ARG "" "FROM" "HIDE" ${ARGN})
  if(NOT ARG_FROM)
    set(ARG_FROM ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  set(_root ${CMAKE_BINARY_DIR}/include/${target})
  set(_view ${_root}/${name})
  get_filename_component(_parent ${_view} DIRECTORY)
  file(MAKE_DIRECTORY ${_parent})
  if(NOT ARG_HIDE)
    file(REMOVE ${_view})
    file(CREATE_LINK ${ARG_FROM} ${_view} SYMBOLIC)
  else()
    # A folder of links, one per entry, so that the hidden sub-folders stay out of sight. The
    # entries are read again whenever one is added or removed.
    file(GLOB _entries LIST_DIRECTORIES true CONFIGURE_DEPENDS ${ARG_FROM}/*)
    file(MAKE_DIRECTORY ${_view})
    file(GLOB _old LIST_DIRECTORIES true ${_view}/*)
    foreach(_link ${_old})
      file(REMOVE ${_link})
    endforeach()
    foreach(_entry ${_entries})
      get_filename_component(_entryName ${_entry} NAME)
      if(NOT _entryName IN_LIST ARG_HIDE AND NOT _entryName STREQUAL "CMakeLists.txt")
        file(CREATE_LINK ${_entry} ${_view}/${_entryName} SYMBOLIC)
      endif()
    endforeach()
  endif()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${_root})
  else()
    target_include_directories(${target} PUBLIC ${_root})
  endif()
endfunction()

# ---- Libraries
#
#   quorvane_library(<name> [INCLUDE_AS <name>] [HIDE <sub-folder>...] [WIDGETS] [OBJECT]
#                    SOURCES <file>...
#                    [DEPENDS <library>...] [PRIVATE_DEPENDS <library>...])
#
# One static library from the current source folder, included as INCLUDE_AS (default: its name).
# DEPENDS are the libraries its headers use too (PUBLIC); PRIVATE_DEPENDS those its sources alone
# use. WIDGETS: precompile Qt Widgets as well. OBJECT: an object library instead, whose every
# object file goes into each program that links it (for files that only register themselves).
# Backends of one system are added after it, under that system's condition (target_sources in
# if(UNIX)).
function(quorvane_library name)
  cmake_parse_arguments(ARG "WIDGETS;OBJECT" "INCLUDE_AS" "HIDE;SOURCES;DEPENDS;PRIVATE_DEPENDS"
                        ${ARGN})
  if(NOT ARG_INCLUDE_AS)
    set(ARG_INCLUDE_AS ${name})
  endif()
  if(ARG_OBJECT)
    add_library(${name} OBJECT ${ARG_SOURCES})
  else()
    add_library(${name} STATIC ${ARG_SOURCES})
  endif()
  if(QUORVANE_SANITIZE)
    # A sanitizer folder builds its test programs; the libraries come in as they need them.
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
  quorvane_include_view(${name} ${ARG_INCLUDE_AS} HIDE ${ARG_HIDE})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_DEPENDS})
  if(ARG_WIDGETS)
    quorvane_precompile(${name} UI)
  else()
    quorvane_precompile(${name} CORE)
  endif()
  quorvane_target_options(${name})
endfunction()
