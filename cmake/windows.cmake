# Windows builds: the program, its Windows-side tests and the sample product.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR} -c 65001")

# The shipped program links no exception or RTTI machinery and no libstdc++
# allocation path; see app/main_win.cpp for the allocation functions.
set(PRODUCT_FLAGS -Os -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -fno-asynchronous-unwind-tables -ffunction-sections
    # printf goes to the system C runtime, not the 16 KB MinGW replacement.
    -D__USE_MINGW_ANSI_STDIO=0
    # No function may take a stack frame of a page or more, nor a stack block
    # of run-time size: the 32-bit program does not probe the stack, and a
    # frame that reached past the guard page below the committed stack would
    # crash. Large buffers go on the heap.
    -Wframe-larger-than=4000 -Walloca -Wvla)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # Call arguments pushed rather than stored into a frame reserved in
    # advance, and no 16-byte stack alignment (the Windows ABI promises 4 and
    # the program has no SSE code): together about 9 KB less code. GCC pushes
    # arguments only where it does not probe the stack; frames stay below
    # GCC's own probing threshold (4000 bytes), so none needed a probe.
    # No frame pointer either (the 32-bit compiler keeps one unless told), and
    # data aligned as the ABI requires rather than to 32 bytes for vector
    # code that the program does not have.
    # The instruction set of the 386, the oldest processor that Windows 95
    # runs on: the compiler's default target, the Pentium Pro, uses
    # conditional moves, which stop a Pentium or a 486 with an invalid
    # instruction. The code is as large either way.
    # Values live across calls in the registers that calls keep rather than
    # in ones saved around each call, and only functions declared inline or
    # called once are inlined: 124 bytes less, with the hot loops (the SZDD
    # decoder's) unchanged, being inline already.
    list(APPEND PRODUCT_FLAGS -mno-accumulate-outgoing-args -mno-stack-arg-probe
        -mpreferred-stack-boundary=2 -malign-data=abi -fomit-frame-pointer
        -march=i386 -mtune=generic -fno-caller-saves -fno-inline-small-functions)
endif()
# The oldest systems the program runs on are Windows 95 and NT 4.0: the
# headers declare nothing newer, so a newer function can only be reached
# through GetProcAddress. (The tests and mkpackage see today's headers.)
set(PRODUCT_DEFINITIONS WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0400)
set(SYSTEM_LIBS kernel32 user32 gdi32 advapi32 shell32 shlwapi ole32 oleaut32
    comdlg32 uuid)

add_library(core STATIC ${CORE_SOURCES})
target_compile_options(core PRIVATE ${PRODUCT_FLAGS})
target_compile_definitions(core PRIVATE ${PRODUCT_DEFINITIONS})
add_library(winedge STATIC ${WIN_SOURCES})
target_compile_options(winedge PRIVATE ${PRODUCT_FLAGS})
target_compile_definitions(winedge PRIVATE ${PRODUCT_DEFINITIONS})
target_link_libraries(winedge PUBLIC core ${SYSTEM_LIBS})

# install.exe: stripped (a COFF symbol table after the sections would be taken
# for the start of the archive), no PE time stamp (reproducible packages),
# statically linked runtime.
add_executable(installer WIN32 app/main_win.cpp res/install.rc)
target_compile_options(installer PRIVATE ${PRODUCT_FLAGS})
target_compile_definitions(installer PRIVATE ${PRODUCT_DEFINITIONS})
target_link_libraries(installer PRIVATE winedge)
target_link_options(installer PRIVATE -s -static -static-libgcc -static-libstdc++
    -Wl,--no-insert-timestamp -Wl,--gc-sections)
# The program's own entry point instead of the C runtime's start-up code (see
# app/main_win.cpp); C symbols carry a leading underscore on i686 only.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    target_link_options(installer PRIVATE -nostartfiles -Wl,--entry=InstallerEntry)
else()
    target_link_options(installer PRIVATE -nostartfiles -Wl,--entry=_InstallerEntry)
    # Nor does it link the compiler's support library or MinGW's additions
    # to the C runtime: the link fails if code comes to need one of their
    # functions (a 64-bit division, for one; see DivideBySmall in base/text.h)
    # instead of quietly adding it with its unwinding tables.
    # msvcrt comes last, after everything that calls it.
    target_link_options(installer PRIVATE -nodefaultlibs)
    target_link_libraries(installer PRIVATE winedge core ${SYSTEM_LIBS} msvcrt)
endif()
set_target_properties(installer PROPERTIES OUTPUT_NAME install
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# mkpackage.exe: the packaging tool as a Windows console program. A host tool
# like its native twin: its own sources use exceptions, RTTI and the standard
# library, so they are compiled without PRODUCT_FLAGS; the core it links is
# the product's (built without exceptions, which links fine).
file(GLOB MKPACKAGE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/mkpackage/*.cpp)
if(MKPACKAGE_SOURCES)
    add_executable(mkpackage ${MKPACKAGE_SOURCES})
    target_compile_options(mkpackage PRIVATE -O2)
    target_link_libraries(mkpackage PRIVATE core)
    target_link_options(mkpackage PRIVATE -static -static-libgcc -static-libstdc++)
    set_target_properties(mkpackage PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()

# The sample product that the sample package installs.
if(EXISTS ${CMAKE_SOURCE_DIR}/sample/orbelo/CMakeLists.txt)
    add_subdirectory(sample/orbelo)
endif()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    # Windows-side tests, run by ctest through wine64.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    include(GoogleTest)
    set(WINE_TEST_LINK -static -static-libgcc -static-libstdc++)
    # A CBT hook library that refuses the creation of the background window,
    # which the end-to-end tests install system-wide for one scenario.
    add_library(refuse_window_hook SHARED ${CMAKE_SOURCE_DIR}/tests/e2e/hook/refuse_window_hook.cpp)
    target_link_options(refuse_window_hook PRIVATE ${WINE_TEST_LINK})
    set_target_properties(refuse_window_hook PROPERTIES PREFIX ""
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    foreach(kind wine e2e)
        file(GLOB TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${kind}/*.cpp)
        if(TEST_SOURCES)
            add_executable(${kind}_tests ${TEST_SOURCES})
            target_link_libraries(${kind}_tests PRIVATE winedge gtest gtest_main)
            target_link_options(${kind}_tests PRIVATE ${WINE_TEST_LINK})
            if(kind STREQUAL "wine")
                # The program's own resources: string table, dialogs, icon.
                target_sources(wine_tests PRIVATE ${CMAKE_SOURCE_DIR}/res/install.rc)
            endif()
            target_compile_definitions(${kind}_tests PRIVATE
                INSTALLER_BUILD_DIR="${CMAKE_BINARY_DIR}"
                INSTALLER_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
            gtest_add_tests(TARGET ${kind}_tests TEST_PREFIX "${kind}." SOURCES ${TEST_SOURCES})
            if(kind STREQUAL "e2e")
                add_dependencies(e2e_tests refuse_window_hook)
            endif()
        endif()
    endforeach()

    # The library that the end-to-end tests plant under system names.
    add_library(planted_library SHARED tests/e2e/planted/planted_library.cpp)
    set_target_properties(planted_library PROPERTIES PREFIX "" OUTPUT_NAME planted
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    target_link_options(planted_library PRIVATE -static -static-libgcc -s)
    add_dependencies(e2e_tests planted_library)
endif()
