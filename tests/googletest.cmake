# GoogleTest for the unit tests: the installed package when there is one,
# otherwise fetched and built from source (FETCHCONTENT_SOURCE_DIR_GOOGLETEST
# points at a local source tree instead, e.g. Debian's /usr/src/googletest).
# Included by the top-level list before it adds the project's warning flags,
# so the targets made here are built with GoogleTest's own flags only.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  include(FetchContent)
  FetchContent_Declare(googletest
    URL https://github.com/google/googletest/archive/refs/tags/v1.14.0.tar.gz
    URL_HASH SHA256=8ad598c73ad796e0d8280b082cebd82a630d73e73cd3c70057938a6501bba5d7
    DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  FetchContent_MakeAvailable(googletest)
  # Newer source trees define the namespaced name themselves.
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
