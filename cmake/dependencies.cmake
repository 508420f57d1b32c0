# Finds the third-party pieces. Everything comes from Debian packages (scripts/setup);
# the Windows builds reuse the header-only and source packages of the Linux side.

find_package(Threads REQUIRED)

# nlohmann/json is header-only. The cross compilers do not search /usr/include (it holds
# glibc headers), so the Windows builds see the package through a directory of its own.
if(WIN32)
  set(QV_NLOHMANN_SHIM ${CMAKE_BINARY_DIR}/thirdparty/include)
  file(MAKE_DIRECTORY ${QV_NLOHMANN_SHIM})
  if(NOT EXISTS ${QV_NLOHMANN_SHIM}/nlohmann)
    file(CREATE_LINK /usr/include/nlohmann ${QV_NLOHMANN_SHIM}/nlohmann SYMBOLIC)
  endif()
  add_library(qv_nlohmann INTERFACE)
  target_include_directories(qv_nlohmann SYSTEM INTERFACE ${QV_NLOHMANN_SHIM})
else()
  find_package(nlohmann_json 3.10 REQUIRED)
  add_library(qv_nlohmann INTERFACE)
  target_link_libraries(qv_nlohmann INTERFACE nlohmann_json::nlohmann_json)
endif()

if(QV_BUILD_TESTS)
  if(WIN32)
    # GoogleTest built from Debian's sources with the cross compiler.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # googletest 1.12 already defines the GTest:: aliases.
    foreach(lib gtest gtest_main gmock)
      if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
      endif()
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

if(NOT WIN32)
  find_package(benchmark QUIET)
  find_package(PkgConfig REQUIRED)
  # The program speaks HTTP and TLS through libcurl built with OpenSSL (Debian's
  # libcurl4-openssl-dev); OpenSSL also serves the test tools (the HTTPS test server, the
  # simulator's certificates).
  find_package(CURL REQUIRED)
  find_package(OpenSSL REQUIRED)
  find_package(Cups REQUIRED)
endif()
