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

# The WebView2 SDK for the Windows cashier window: restored from NuGet by scripts/setup into
# build/nuget (cmake/webview2/webview2-sdk.csproj names the version). Without it the Windows
# build shows the cashier page in the WebBrowser control alone; a release for shops
# (QV_REQUIRE_WEBVIEW2, set by scripts/package) refuses to build that way.
option(QV_REQUIRE_WEBVIEW2 "Fail when the WebView2 SDK is missing (Windows release builds)" OFF)
set(QV_WEBVIEW2 OFF)
if(WIN32)
  file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/webview2/webview2-sdk.csproj qv_webview2_line
       REGEX "\"Microsoft.Web.WebView2\"")
  string(REGEX MATCH "Version=\"([^\"]+)\"" qv_webview2_match "${qv_webview2_line}")
  set(QV_WEBVIEW2_SDK
      ${CMAKE_SOURCE_DIR}/build/nuget/microsoft.web.webview2/${CMAKE_MATCH_1}/build/native
      CACHE PATH "The native part of the restored WebView2 SDK")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${CMAKE_SOURCE_DIR}/cmake/webview2/webview2-sdk.csproj)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QV_WEBVIEW2_LOADER ${QV_WEBVIEW2_SDK}/x64/WebView2Loader.dll)
  else()
    set(QV_WEBVIEW2_LOADER ${QV_WEBVIEW2_SDK}/x86/WebView2Loader.dll)
  endif()
  if(EXISTS ${QV_WEBVIEW2_SDK}/include/WebView2.h AND EXISTS ${QV_WEBVIEW2_LOADER})
    set(QV_WEBVIEW2 ON)
    # The header includes "EventToken.h"; Debian's mingw ships it in lower case.
    set(qv_webview2_shim ${CMAKE_BINARY_DIR}/thirdparty/webview2-shim)
    file(WRITE ${qv_webview2_shim}/EventToken.h "#include <eventtoken.h>\n")
    add_library(qv_webview2 INTERFACE)
    target_include_directories(qv_webview2 SYSTEM INTERFACE ${qv_webview2_shim}
                               ${QV_WEBVIEW2_SDK}/include)
  elseif(QV_REQUIRE_WEBVIEW2)
    message(FATAL_ERROR "No WebView2 SDK at ${QV_WEBVIEW2_SDK} (run scripts/setup, which "
                        "restores it with dotnet): a release for shops needs it")
  else()
    message(STATUS "No WebView2 SDK at ${QV_WEBVIEW2_SDK}: building without WebView2 (the cashier page in the WebBrowser control only)")
  endif()
endif()
