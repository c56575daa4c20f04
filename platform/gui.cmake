# The windowing and drawing half of the platform layer: GTK 3 (X11), cairo, pango, fontconfig,
# libpng and libjpeg; and the sound card reservation over the D-Bus of GIO, which GTK brings. Included
# from platform/CMakeLists.txt.
if(NOT TARGET PkgConfig::GTK3)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET GLOBAL gtk+-3.0)
endif()
if(NOT TARGET PkgConfig::PANGOFT2)
  pkg_check_modules(PANGOFT2 REQUIRED IMPORTED_TARGET GLOBAL pangoft2)
endif()
if(NOT TARGET PkgConfig::FONTCONFIG)
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET GLOBAL fontconfig)
endif()
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)

add_library(platform_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/gui_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui_event.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui_image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui_font.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui_draw.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/reserve.cpp)
target_include_directories(platform_gui PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(platform_gui PUBLIC PkgConfig::GTK3 PkgConfig::PANGOFT2 PkgConfig::FONTCONFIG
                      PNG::PNG JPEG::JPEG)
if(TARGET platform)
  target_link_libraries(platform_gui PUBLIC platform)
endif()
