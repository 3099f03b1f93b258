# The Debian package, made by CPack from the install rules: `scripts/package` (the release build and
# the "package" preset), or `cpack` in any configured build folder. dpkg-shlibdeps computes the
# libraries it needs; what no binary links to is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME chengling)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "澄岭工具箱：文本文件、文件树与网址的批量处理工具")
# The summary above is the first line of the package's description, this its body.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "一个窗口里的五个工具：文件分割合并、文件批量转码（GBK、UTF-8、UTF-16 与简繁体）、
文件批量归类、Csv数据排序和跳转地址获取。命令 chengling-cli 在脚本和服务器上运行
同样的五个工具引擎。")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "澄岭工具箱 <toolbox@chengling.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CHENGLING_HOMEPAGE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcurl is opened at run time, so no binary names it; HTTPS needs the certificate store. Every word
# of the window is Chinese: without a font with Chinese glyphs it shows empty boxes, and without
# Qt's Chinese translations Qt's own buttons and dialogs speak English. Neither may be left to
# Recommends, which an installation may skip.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libcurl4, ca-certificates, fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei, qt6-translations-l10n")
include(CPack)

# Builds the package from this build folder, unpacks it into a scratch root and runs both programs
# from there. `ctest -L package` runs it alone, `ctest -LE package` leaves it out.
chengling_command_test(package_installs_and_runs LABELS install package
                       COMMAND bash ${PROJECT_SOURCE_DIR}/tests/install/package_test.sh
                               ${CMAKE_BINARY_DIR} ${CHENGLING_APP_ID} ${PROJECT_VERSION})
