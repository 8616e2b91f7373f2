# Libraries from Debian's -dev packages; scripts/install-deps installs them.
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
find_package(EXPAT REQUIRED)
# Debian's libzip CMake package asks for its command-line tools; pkg-config does not.
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
# ISA-L's igzip deflates and inflates the parts of a package, with its CRC32.
pkg_check_modules(ISAL REQUIRED IMPORTED_TARGET libisal)
find_package(Threads REQUIRED)
# Autofit measures the fonts installed on the machine: fontconfig finds them, FreeType reads them.
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)

find_path(SHAPELIB_INCLUDE_DIR shapefil.h REQUIRED)
find_library(SHAPELIB_LIBRARY shp REQUIRED)
add_library(shapelib::shp UNKNOWN IMPORTED)
set_target_properties(shapelib::shp PROPERTIES
  IMPORTED_LOCATION ${SHAPELIB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${SHAPELIB_INCLUDE_DIR})

if(PLYFOLD_BUILD_TESTS)
  find_package(GTest REQUIRED)
  # libxlsxwriter is only an oracle for the writer's golden tests.
  pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
endif()
if(PLYFOLD_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Svg PrintSupport Test)
endif()
