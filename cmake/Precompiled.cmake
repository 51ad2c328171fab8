# Precompiled headers, one per family of units that share their heavy headers and the flags that
# decide whether a precompiled header may be used (-fPIC, the library's and the test
# framework's definitions): libtorrent with Boost.Asio, Qt Widgets, and the test framework over
# either. Each is compiled once in a small object library of its own and reused by every target
# of its family, so no target waits for another target's link to start compiling. GCC drops a
# header whose flags differ with an -Winvalid-pch warning rather than failing. Off in the fuzz
# build: clang refuses a header whose definitions differ from the unit's.
option(KESTREL_PRECOMPILE "Precompile the heavy headers shared by many units" ON)
if(KESTREL_FUZZ)
    set(KESTREL_PRECOMPILE OFF)
endif()

set(kestrel_pch_std <algorithm> <chrono> <cstdint> <filesystem> <functional> <memory> <optional>
    <string> <vector>)
set(kestrel_pch_qt <QString> <QCoreApplication> <QApplication> <QWidget> <QPainter> <QTimer>)
set(kestrel_pch_torrent <libtorrent/session.hpp> <libtorrent/torrent_info.hpp>
    <libtorrent/torrent_handle.hpp> <libtorrent/torrent_status.hpp>
    <libtorrent/alert_types.hpp> <libtorrent/settings_pack.hpp>
    <libtorrent/add_torrent_params.hpp> <libtorrent/bdecode.hpp>)
# Not QTest: its header reads the target's own build folder, which differs from target to target.
set(kestrel_pch_test <gtest/gtest.h>)

set(kestrel_pch_dir ${CMAKE_CURRENT_LIST_DIR})

# kestrel_pch_donor(<family> HEADERS ... LIBS ...): the object library that compiles one
# family's header; LIBS give it the same flags as the family's targets.
function(kestrel_pch_donor family)
    cmake_parse_arguments(P "" "" "HEADERS;LIBS" ${ARGN})
    set(donor kestrel_pch_${family})
    add_library(${donor} OBJECT ${kestrel_pch_dir}/Precompiled.cpp)
    set_target_properties(${donor} PROPERTIES POSITION_INDEPENDENT_CODE ON AUTOMOC OFF
                          UNITY_BUILD OFF)
    set_source_files_properties(${kestrel_pch_dir}/Precompiled.cpp PROPERTIES
                                SKIP_PRECOMPILE_HEADERS ON)
    target_link_libraries(${donor} PRIVATE ${P_LIBS})
    target_precompile_headers(${donor} PRIVATE ${P_HEADERS})
endfunction()

# kestrel_precompile(<family> <target>...): the targets use the family's header.
function(kestrel_precompile family)
    if(KESTREL_PRECOMPILE)
        foreach(target ${ARGN})
            target_precompile_headers(${target} REUSE_FROM kestrel_pch_${family})
            # moc's unit is empty for most targets, and loading a header costs more than
            # compiling what moc wrote without one.
            get_target_property(binary_dir ${target} BINARY_DIR)
            set_source_files_properties(${binary_dir}/${target}_autogen/mocs_compilation.cpp
                TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
            # The few libraries without Qt would otherwise compile without -fPIC, which a
            # precompiled header must share.
            get_target_property(type ${target} TYPE)
            if(type STREQUAL "STATIC_LIBRARY")
                set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
            endif()
        endforeach()
    endif()
endfunction()

if(KESTREL_PRECOMPILE)
    pkg_check_modules(PCH_LIBTORRENT REQUIRED IMPORTED_TARGET libtorrent-rasterbar)
    # The program's Qt layers, and the tools and test helpers over them.
    kestrel_pch_donor(qt HEADERS ${kestrel_pch_std} ${kestrel_pch_qt} LIBS Qt6::Widgets)
    # libtorrent's users; all compile position-independent, as Qt asks of its users.
    kestrel_pch_donor(torrent HEADERS ${kestrel_pch_std} ${kestrel_pch_torrent}
                      LIBS PkgConfig::PCH_LIBTORRENT)
    if(KESTREL_BUILD_TESTS)
        find_package(GTest REQUIRED)
        kestrel_pch_donor(qt_test HEADERS ${kestrel_pch_std} ${kestrel_pch_qt} ${kestrel_pch_test}
                          LIBS GTest::gtest Qt6::Widgets)
        kestrel_pch_donor(torrent_test
                          HEADERS ${kestrel_pch_std} ${kestrel_pch_qt} ${kestrel_pch_test}
                                  ${kestrel_pch_torrent}
                          LIBS GTest::gtest Qt6::Widgets PkgConfig::PCH_LIBTORRENT)
    endif()
endif()
