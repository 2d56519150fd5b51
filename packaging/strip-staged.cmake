# Run by CPack on the staged tree before it builds the packages: strips the program as Debian's
# own packages are stripped (every symbol, and the compilers' .comment and .note sections, which
# the program does not need). The hardening is untouched: it lives in the dynamic section, the
# dynamic symbols and the ELF type, which stripping keeps.
# Each component is staged in a folder of its own.
file(GLOB programs LIST_DIRECTORIES false
    "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
foreach(program IN LISTS programs)
    execute_process(
        COMMAND ${CPACK_KP_STRIP} --remove-section=.comment --remove-section=.note ${program}
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
