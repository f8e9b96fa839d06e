# SPDX-License-Identifier: LGPL-2.1-or-later
# The Debian package, built by CPack: `make deb` (cpack -G DEB in the build tree).

set(LUMAGHOST_PACKAGE_RELEASE 1 CACHE STRING "The Debian revision of the package")
set(LUMAGHOST_PACKAGE_MAINTAINER "Lumaghost developers <lumaghost@quillmoor.example>" CACHE STRING
    "The package's Maintainer field")
set(package_version ${PROJECT_VERSION}-${LUMAGHOST_PACKAGE_RELEASE})

# /usr/share/doc/lumaghost: the copyright (machine-readable) and the Debian changelog,
# compressed, dated at noon of the release day.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/lumaghost)
set(PACKAGE_VERSION ${package_version})
set(MAINTAINER ${LUMAGHOST_PACKAGE_MAINTAINER})
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C date -u -R -d "${LUMAGHOST_RELEASE_DATE} 12:00"
    OUTPUT_VARIABLE CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(debian/copyright.in ${generated}/copyright @ONLY)
configure_file(debian/changelog.in ${generated}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.Debian.gz
    COMMAND gzip -9nc ${generated}/changelog.Debian > ${generated}/changelog.Debian.gz
    DEPENDS ${generated}/changelog.Debian)
add_custom_target(lumaghost_changelog ALL DEPENDS ${generated}/changelog.Debian.gz)
install(FILES ${generated}/copyright ${generated}/changelog.Debian.gz DESTINATION ${doc_dir})
install(FILES debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME lumaghost)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumaghost)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quillmoor)
# The install runs with DESTDIR and the real prefix /usr, so the files made at install time name
# /usr, whatever prefix the build tree was configured with.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_SOURCE_DIR}/strip_comments.cmake)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "software virtual camera")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Every video program that opens a webcam sees a camera named Lumaghost.
Lumaghost's programs feed it a still picture or a region picked from it, a
timed picture sequence, a movie, every picture of a directory in turn, or the
live image of a real camera.

The package holds the desktop application lumadesk, the play service
lumaserv, the device installer lumasetup, the camera's tool and daemon
lumacam, and the GStreamer plugin with the elements lumarenderer and
lumaghostsrc. The camera is shown to programs on a v4l2loopback node where
v4l2loopback is installed, and as a PipeWire camera in each graphical
session.")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LUMAGHOST_PACKAGE_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LUMAGHOST_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps; the GStreamer plugins are loaded at
# run time, deb-systemd-helper runs in the maintainer scripts, /bin/kill reloads the play service.
# Lumadesk's Service command runs pkexec; gst-inspect-1.0 and gst-launch-1.0 use the plugin;
# qt6-translations-l10n puts Qt's own texts in Lumadesk's dialogs in the chosen language.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, init-system-helpers (>= 1.54~), procps")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "v4l2loopback-dkms, pipewire, pkexec, gstreamer1.0-tools, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
