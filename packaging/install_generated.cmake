# SPDX-License-Identifier: LGPL-2.1-or-later
# Run at install time (install(CODE) in CMakeLists.txt): the files that name where the programs
# are, made for the prefix being installed to, then installed.
set(bindir "${CMAKE_INSTALL_PREFIX}/${LUMAGHOST_BINDIR}")
set(BINDIR "${bindir}")
set(out "${LUMAGHOST_GENERATED_DIR}")
file(MAKE_DIRECTORY "${out}/system" "${out}/user" "${out}/polkit")

configure_file("${LUMAGHOST_PACKAGING_DIR}/systemd/lumacam.service.in"
    "${out}/system/lumacam.service" @ONLY)
configure_file("${LUMAGHOST_PACKAGING_DIR}/systemd/lumacam-user.service.in"
    "${out}/user/lumacam.service" @ONLY)
configure_file("${LUMAGHOST_PACKAGING_DIR}/polkit/org.quillmoor.lumaghost.policy.in"
    "${out}/polkit/org.quillmoor.lumaghost.policy" @ONLY)

# The play service's unit comes from lumaserv itself, so the package and `lumaserv -i` agree; it
# is the system's unit, for the real system.
unset(ENV{LUMAGHOST_ROOT})
unset(ENV{LUMAGHOST_SERVICE_MANAGER})
execute_process(COMMAND "${LUMAGHOST_LUMASERV}" --unit "${bindir}/lumaserv"
    OUTPUT_FILE "${out}/system/LumaghostService.service"
    ERROR_VARIABLE error RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lumaserv --unit ${bindir}/lumaserv failed (${result}): ${error}")
endif()

# With the prefix /usr, the system units and the module options go to /lib, as systemd.pc's
# rootprefix and kmod have it on Debian 12: /lib is /usr/lib on a merged /usr, but dpkg knows a
# file (and a directory it may remove) by the path it was shipped under.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(rootlib "/lib")
else()
    set(rootlib "${CMAKE_INSTALL_PREFIX}/lib")
endif()
file(INSTALL DESTINATION "${rootlib}/systemd/system"
    TYPE FILE FILES "${out}/system/lumacam.service" "${out}/system/LumaghostService.service")
file(INSTALL DESTINATION "${rootlib}/modprobe.d"
    TYPE FILE RENAME lumaghost.conf FILES "${LUMAGHOST_MODPROBE_CONF}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${LUMAGHOST_SYSTEMD_USER_UNIT_DIR}"
    TYPE FILE FILES "${out}/user/lumacam.service")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${LUMAGHOST_DATADIR}/polkit-1/actions"
    TYPE FILE FILES "${out}/polkit/org.quillmoor.lumaghost.policy")
