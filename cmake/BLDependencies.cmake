# The libraries the program's subsystems link, found once for the main build and the fuzz build.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network WebEngineWidgets)
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
find_package(EXPAT REQUIRED)
find_package(pugixml REQUIRED)
find_package(CURL REQUIRED)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(LIBACL REQUIRED IMPORTED_TARGET libacl)
