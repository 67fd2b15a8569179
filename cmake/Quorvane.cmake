# Shared build settings: warnings, ccache, precompiled Qt headers and the one-library-per-folder rule.

find_program(QUORVANE_CCACHE ccache)
if(QUORVANE_CCACHE)
  # Precompiled headers need these sloppiness settings to be cached at all.
  set(_launcher ${CMAKE_COMMAND} -E env
      "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
      ${QUORVANE_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${_launcher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${_launcher})
endif()

set(QUORVANE_PCH_HEADERS
    <QtCore/QString> <QtCore/QByteArray> <QtCore/QStringList> <QtCore/QList> <QtCore/QHash>
    <QtCore/QMap> <QtCore/QObject> <QtCore/QDateTime> <QtCore/QVariant> <QtWidgets/QWidget>
    <functional> <memory> <optional> <string> <vector>)

function(quorvane_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(QUORVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # Assertions stay on in every build type: the data these checks protect is the users'.
  target_compile_definitions(${target} PRIVATE QT_FORCE_ASSERTS)
endfunction()

# One static library per source folder. Sources are found by globbing so that adding a file
# needs no edit here; sub-folders of a library belong to it.
function(quorvane_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${name}/*.cpp ${CMAKE_SOURCE_DIR}/${name}/*.h ${CMAKE_SOURCE_DIR}/${name}/*.c)
  list(FILTER _sources EXCLUDE REGEX "/${name}/main/")
  list(FILTER _sources EXCLUDE REGEX "_fuzz\\.cpp$")
  if(NOT _sources)
    # A library whose folder holds no code yet still stands in the dependency chain.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
    return()
  endif()
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
  target_precompile_headers(${name} PRIVATE ${QUORVANE_PCH_HEADERS})
  quorvane_target_options(${name})
endfunction()
