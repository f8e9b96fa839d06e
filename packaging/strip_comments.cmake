# SPDX-License-Identifier: LGPL-2.1-or-later
# Run by CPack before it packs (CPACK_PRE_BUILD_SCRIPTS): drops the compilers' .comment and
# .note sections from the stripped programs and the plugin, as dh_strip does.
file(GLOB_RECURSE elves
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*"
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/lib/*.so")
foreach(file ${elves})
    execute_process(COMMAND objcopy --remove-section=.comment --remove-section=.note "${file}"
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
