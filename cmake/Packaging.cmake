# Installation under any prefix, and the Debian package made from it with cpack -G DEB. The
# programs find their resources from their own folder, so any prefix works.
install(TARGETS kestryn kestryn-publish RUNTIME DESTINATION bin)
if(TARGET kestryn-center)
    install(TARGETS kestryn-center RUNTIME DESTINATION bin)
endif()
# Catalog.json, Info.plist, the help page and PublicKey.txt when the build ships one; the rendered
# artwork is installed where it is made.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/ DESTINATION ${KESTRYN_DATA_DESTINATION})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestryn-center)
set(CPACK_PACKAGE_VENDOR KESTRYN)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KESTRYN 软件中心：查看、安装和更新 KESTRYN 的创意工具")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "KESTRYN 软件中心集中管理 KESTRYN 的六款创意工具，显示已安装的版本和可用的更新，\n"
    "从签名的更新清单安装或更新工具，并在替换前完整备份原有版本。\n"
    "包含窗口程序 kestryn-center、命令行程序 kestryn 和发布工具 kestryn-publish。")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER KESTRYN)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.kestryn.com)
# Libraries the programs link come from dpkg-shlibdeps; what the window loads at run time (QML
# modules, the SVG and ICNS image plug-ins, fonts) and the opener of files and addresses are named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
    qml6-module-qtquick-templates qml6-module-qtquick-window qml6-module-qtquick-dialogs
    qml6-module-qtqml-workerscript qml6-module-qtwebengine
    libqt6svg6 qt6-image-formats-plugins
    fonts-noto-cjk fonts-materialdesignicons-webfont xdg-utils)
include(CPack)
