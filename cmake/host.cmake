# Native build: the portable core, its unit tests (with sanitizers) and the
# packaging tool.
set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(core STATIC ${CORE_SOURCES})
target_compile_options(core PRIVATE -O2)

add_library(core_san STATIC ${CORE_SOURCES})
target_compile_options(core_san PUBLIC ${SANITIZE} -g)
target_link_options(core_san PUBLIC ${SANITIZE})

file(GLOB MKPACKAGE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/mkpackage/*.cpp)
if(MKPACKAGE_SOURCES)
    add_executable(mkpackage ${MKPACKAGE_SOURCES})
    target_compile_options(mkpackage PRIVATE -O2)
    target_link_libraries(mkpackage PRIVATE core)
    set_target_properties(mkpackage PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()

find_package(GTest REQUIRED)
include(GoogleTest)
file(GLOB UNIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_SOURCES})
target_link_libraries(unit_tests PRIVATE core_san GTest::gtest GTest::gtest_main)
target_compile_definitions(unit_tests PRIVATE
    INSTALLER_BUILD_DIR="${CMAKE_BINARY_DIR}"
    INSTALLER_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(unit_tests TEST_PREFIX "unit." DISCOVERY_TIMEOUT 60)
