# Precompiled Qt headers, built once per kind of target and reused by every target of that kind.
#
# A precompiled header is used only when the target is compiled with the same macros it was made
# with, so there is one host per set of Qt modules a target sees:
#   k3316_pch_core     Qt Core (the libraries and tools without windows)
#   k3316_pch_widgets  Qt Widgets (the window rooms, the utility)
#   k3316_pch_test     QtTest, Widgets and Network (the test programs, made with their options;
#                      the benchmarks get a copy made with the build type's own, k3316_pch_test_bench; the test
#                      support library links all three, so every program that uses it matches)
# Extra macros of a target (QT_CHARTS_LIB, a test's own paths) are fine as long as the Qt
# headers of the host never look at them. A mismatch shows as -Winvalid-pch, a warning, so it
# cannot pass unnoticed.
#
# k3316_use_pch_everywhere(), called once every target exists, gives each library and program
# of the tree the host that fits the Qt modules it links, so a new target needs no entry here.
# Libraries instrumented for libFuzzer get hosts of their own made with the same options (clang
# refuses a header made without them); the fuzz targets themselves go without.
# -DK3316_PCH=OFF builds without them (to prove every file includes what it uses).

option(K3316_PCH "Precompile the Qt headers" ON)

# QtTest puts the absolute source and build folders into every test's macros; nothing here uses
# QFINDTESTDATA, and without them a test compiles alike in any folder (ccache shares it) and
# matches the test host's precompiled header.
if(TARGET Qt6::Test)
  get_target_property(k3316_test_defs Qt6::Test INTERFACE_COMPILE_DEFINITIONS)
  list(FILTER k3316_test_defs EXCLUDE REGEX "^QT_TESTCASE_(BUILD|SOURCE)DIR=")
  set_target_properties(Qt6::Test PROPERTIES INTERFACE_COMPILE_DEFINITIONS "${k3316_test_defs}")
endif()

if(NOT K3316_PCH)
  function(k3316_use_pch_everywhere)
  endfunction()
  return()
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The header's time stamp would otherwise be checked, and ccache could not reuse a result.
  add_compile_options("SHELL:-Xclang -fno-pch-timestamp")
endif()

set(k3316_pch_core_headers
  <QByteArray> <QByteArrayView> <QString> <QStringList> <QList> <QVector> <QHash> <QMap> <QSet>
  <QObject> <QPointer> <QTimer> <QElapsedTimer> <QDateTime> <QFile> <QFileInfo> <QDir>
  <QSaveFile> <QTextStream> <QRegularExpression> <QJsonDocument> <QJsonObject> <QJsonArray>
  <QCoreApplication> <QSocketNotifier> <QLocale> <QDebug>
  <algorithm> <array> <cstdint> <cstdio> <cstring> <deque> <functional> <limits> <memory>
  <optional> <string> <utility> <vector>)
set(k3316_pch_widgets_headers ${k3316_pch_core_headers}
  <QtGui> <QtWidgets>)
set(k3316_pch_test_headers ${k3316_pch_widgets_headers}
  <QTest> <QSignalSpy> <QProcess> <QTemporaryDir> <QTemporaryFile>)

# Each host is an object library of one empty file; it builds only its header.
set(k3316_pch_source ${CMAKE_BINARY_DIR}/k3316_pch_host.cpp)
if(NOT EXISTS ${k3316_pch_source})
  file(WRITE ${k3316_pch_source} "// The precompiled header is all this target builds.\n")
endif()
foreach(kind core widgets test)
  add_library(k3316_pch_${kind} OBJECT ${k3316_pch_source})
  target_precompile_headers(k3316_pch_${kind} PRIVATE ${k3316_pch_${kind}_headers})
  set_target_properties(k3316_pch_${kind} PROPERTIES AUTOMOC OFF AUTORCC OFF POSITION_INDEPENDENT_CODE ON)
endforeach()
target_link_libraries(k3316_pch_core PRIVATE Qt6::Core)
target_link_libraries(k3316_pch_widgets PRIVATE Qt6::Widgets)
target_link_libraries(k3316_pch_test PRIVATE Qt6::Test Qt6::Widgets Qt6::Network)
target_compile_options(k3316_pch_test PRIVATE ${K3316_TEST_CODE_OPTIONS})

# The Qt modules `target` links, directly or through the project's own libraries.
function(k3316_qt_modules target out)
  set(seen "")
  set(todo ${target})
  set(modules "")
  while(todo)
    list(POP_FRONT todo t)
    if(t IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${t})
    if(t MATCHES "^Qt6::(.+)$")
      list(APPEND modules ${CMAKE_MATCH_1})
    elseif(TARGET ${t})
      get_target_property(imported ${t} IMPORTED)
      if(NOT imported)
        get_target_property(links ${t} LINK_LIBRARIES)
        get_target_property(interface ${t} INTERFACE_LINK_LIBRARIES)
        foreach(l ${links} ${interface})
          if(NOT l MATCHES "^\\$<" AND NOT l MATCHES "-NOTFOUND$")
            list(APPEND todo ${l})
          endif()
        endforeach()
      endif()
    endif()
  endwhile()
  set(${out} ${modules} PARENT_SCOPE)
endfunction()

function(k3316_targets_under dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    k3316_targets_under(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(k3316_use_pch_everywhere)
  k3316_targets_under(${CMAKE_SOURCE_DIR} targets)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|EXECUTABLE|OBJECT_LIBRARY)$" OR t MATCHES "^k3316_pch_")
      continue()
    endif()
    get_target_property(options ${t} COMPILE_OPTIONS)
    # A library instrumented for libFuzzer needs a header made with the same instrumentation;
    # a fuzz target itself (one small file) goes without.
    set(suffix "")
    if(options MATCHES "fuzzer-no-link")
      set(suffix _fuzz)
    elseif(options MATCHES "fuzzer")
      continue()
    endif()
    k3316_qt_modules(${t} modules)
    if("Test" IN_LIST modules)
      if("Widgets" IN_LIST modules AND "Network" IN_LIST modules)
        set(kind test)
      else()
        continue() # a test without the shared support: too small to matter
      endif()
    elseif("Widgets" IN_LIST modules)
      set(kind widgets)
    elseif("Core" IN_LIST modules)
      set(kind core)
    else()
      continue()
    endif()
    # The test host is made with the test code's options; a benchmark keeps the build type's.
    get_target_property(source_dir ${t} SOURCE_DIR)
    if(kind STREQUAL "test" AND NOT source_dir MATCHES "^${CMAKE_SOURCE_DIR}/tests(/|$)")
      set(suffix _bench)
    endif()
    if(suffix AND NOT TARGET k3316_pch_${kind}${suffix})
      add_library(k3316_pch_${kind}${suffix} OBJECT ${k3316_pch_source})
      target_precompile_headers(k3316_pch_${kind}${suffix} PRIVATE ${k3316_pch_${kind}_headers})
      set_target_properties(k3316_pch_${kind}${suffix} PROPERTIES AUTOMOC OFF AUTORCC OFF POSITION_INDEPENDENT_CODE ON)
      if(options)
        target_compile_options(k3316_pch_${kind}${suffix} PRIVATE ${options})
      endif()
      get_target_property(host_links k3316_pch_${kind} LINK_LIBRARIES)
      target_link_libraries(k3316_pch_${kind}${suffix} PRIVATE ${host_links})
    endif()
    target_precompile_headers(${t} REUSE_FROM k3316_pch_${kind}${suffix})
    # A program of one source file (a test) includes its own moc output, so the moc file of
    # the target is empty: loading the large header for it would cost more than it compiles.
    get_target_property(sources ${t} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.h$")
    get_target_property(automoc ${t} AUTOMOC)
    if(automoc AND NOT sources)
      get_target_property(binary_dir ${t} BINARY_DIR)
      set_source_files_properties(${binary_dir}/${t}_autogen/mocs_compilation.cpp TARGET_DIRECTORY ${t}
        PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endif()
  endforeach()
endfunction()
