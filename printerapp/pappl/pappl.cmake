# PAPPL for the printer application: release 1.4.11 built from its source
# and linked statically, so the application does not depend on the PAPPL a
# distribution ships (Debian 12 and 13 ship 1.3.1, which crashes on grey
# raster wider than the page, loops on a broken PNG, misses supplementary
# groups in its PAM check and cannot publish on loopback).
#
# KPX_PAPPL_SOURCE names the release archive: a file or a URL. It is
# accepted by the hash of its unpacked content (verify-tree.cmake), which
# does not depend on the compression or on who packed it: the archive of
# the tag v1.4.11 from PAPPL's repository and a `git archive` of the same
# commit pass alike. Gives the imported target kpx::pappl.
include(ExternalProject)

set(KPX_PAPPL_VERSION 1.4.11)
# Root's server keeps its local socket in a directory of its own, which the
# application opens to root and the administrators' group only (its parent
# holds files every user reads, such as the USB owner marker).
set(KPX_PAPPL_SOCKDIR /run/kpx7720mw-printer-app/admin)
set(KPX_PAPPL_CONTENT_SHA256 69304277d5e8abd5ca8cff7c7f885727ec7a3e9ab5c7b56efb774cef69f8c0ae)
set(kpx_pappl_url https://github.com/michaelrsweet/pappl/archive/refs/tags/v${KPX_PAPPL_VERSION}.tar.gz)
# A copy beside the source tree serves machines that cannot reach the
# repository.
get_filename_component(kpx_pappl_local
  "${PROJECT_SOURCE_DIR}/../shared/vendor/pappl-${KPX_PAPPL_VERSION}.tar.gz" ABSOLUTE)
if(EXISTS "${kpx_pappl_local}")
  set(kpx_pappl_default "${kpx_pappl_local}")
else()
  set(kpx_pappl_default "${kpx_pappl_url}")
endif()
set(KPX_PAPPL_SOURCE "${kpx_pappl_default}" CACHE STRING "PAPPL ${KPX_PAPPL_VERSION} release archive: path or URL")

# PAPPL's own dependencies, named so that its configure cannot pick others
# than the ones linked here.
find_package(PkgConfig REQUIRED)
find_package(Cups REQUIRED)
pkg_check_modules(PAPPL_DEPS REQUIRED IMPORTED_TARGET
  avahi-client libjpeg libpng libusb-1.0 openssl zlib)
find_library(KPX_PAM_LIBRARY pam REQUIRED)
find_path(KPX_PAM_INCLUDE security/pam_appl.h REQUIRED)
find_package(Threads REQUIRED)

set(kpx_pappl_prefix ${CMAKE_CURRENT_BINARY_DIR}/pappl-${KPX_PAPPL_VERSION})
set(kpx_pappl_src ${kpx_pappl_prefix}/src/pappl)
set(kpx_pappl_lib ${kpx_pappl_src}/pappl/libpappl.a)
# The build step does not see the environment of this configure run (a
# cross build's toolchain file sets pkg-config's paths there): pass it on.
set(kpx_pappl_env ${CMAKE_COMMAND} -E env "CC=${CMAKE_C_COMPILER}")
if(CMAKE_C_FLAGS)
  # A package build's hardening flags apply to PAPPL too.
  list(APPEND kpx_pappl_env "CFLAGS=${CMAKE_C_FLAGS}")
endif()
foreach(var PKG_CONFIG_LIBDIR PKG_CONFIG_PATH)
  if(DEFINED ENV{${var}})
    list(APPEND kpx_pappl_env "${var}=$ENV{${var}}")
  endif()
endforeach()
set(kpx_pappl_host "")
if(CMAKE_CROSSCOMPILING)
  set(kpx_pappl_host --host=${CMAKE_LIBRARY_ARCHITECTURE})
endif()

ExternalProject_Add(pappl_build
  PREFIX ${kpx_pappl_prefix}
  SOURCE_DIR ${kpx_pappl_src}
  URL ${KPX_PAPPL_SOURCE}
  DOWNLOAD_EXTRACT_TIMESTAMP TRUE
  PATCH_COMMAND ${CMAKE_COMMAND} -DTREE=<SOURCE_DIR> -DEXPECTED=${KPX_PAPPL_CONTENT_SHA256}
                -P ${CMAKE_CURRENT_LIST_DIR}/verify-tree.cmake
  CONFIGURE_COMMAND ${kpx_pappl_env} <SOURCE_DIR>/configure ${kpx_pappl_host} --enable-static --disable-shared
                    --with-tls=openssl --with-dnssd=avahi --enable-libjpeg --enable-libpng --enable-libusb
                    --enable-libpam
                    --with-papplsockdir=${KPX_PAPPL_SOCKDIR}
  BUILD_COMMAND ${kpx_pappl_env} make -C <SOURCE_DIR>/pappl libpappl.a
  BUILD_IN_SOURCE TRUE
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${kpx_pappl_lib}
  LOG_DOWNLOAD TRUE LOG_CONFIGURE TRUE LOG_BUILD TRUE LOG_PATCH TRUE LOG_OUTPUT_ON_FAILURE TRUE)

add_library(kpx_pappl STATIC IMPORTED GLOBAL)
file(MAKE_DIRECTORY ${kpx_pappl_src})
set_target_properties(kpx_pappl PROPERTIES IMPORTED_LOCATION ${kpx_pappl_lib})
target_include_directories(kpx_pappl INTERFACE ${kpx_pappl_src})
target_compile_definitions(kpx_pappl INTERFACE KPX_PAPPL_SOCKDIR="${KPX_PAPPL_SOCKDIR}")
target_link_libraries(kpx_pappl INTERFACE Cups::Cups PkgConfig::PAPPL_DEPS ${KPX_PAM_LIBRARY} Threads::Threads m)
add_dependencies(kpx_pappl pappl_build)
add_library(kpx::pappl ALIAS kpx_pappl)
# PAPPL's private headers and its config.h, for the one file that must
# reach its structures.
set(KPX_PAPPL_PRIVATE_INCLUDES ${kpx_pappl_src} ${kpx_pappl_src}/pappl)
